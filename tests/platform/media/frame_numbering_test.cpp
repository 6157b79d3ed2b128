// The frame a position names is the frame shown: numbered test videos whose
// frame numbers are read back from the delivered pictures, in shapes where
// counting the decoder's pictures or the file's packets goes wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/media/media_graph.h"
#include "tests/platform/media/media_test_util.h"
#include "tests/support/stream_copy.h"
#include "tests/support/video_damage.h"

using mediatest::Built;
using testvideo::VideoSpec;

namespace {

// Rewrites a test video without decoding it.
using Rewrite = bool (*)(const std::string& in, const std::string& out, std::string* error);

struct NumberingCase {
  const char* name;
  VideoSpec spec;
  std::vector<int> targets;
  Rewrite rewrite = nullptr;
};

VideoSpec numbered(const char* container, const char* codec, int frames, int bFrames, int gop,
                   bool closedGop = true, std::vector<int> zeroed = {}) {
  VideoSpec s;
  s.container = container;
  s.codec = codec;
  s.width = 160;
  s.height = 128;
  s.frames = frames;
  s.bFrames = bFrames;
  s.gop = gop;
  s.closedGop = closedGop;
  s.zeroedFrames = std::move(zeroed);
  return s;
}

// The frame a seek to `target` shows: the target, or where its packet does
// not decode, the next frame that does.
int frameShownFor(const VideoSpec& spec, int target) {
  while (std::find(spec.zeroedFrames.begin(), spec.zeroedFrames.end(), target) !=
         spec.zeroedFrames.end())
    ++target;
  return target;
}

void PrintTo(const NumberingCase& c, std::ostream* os) { *os << c.name; }

class FrameNumbering : public ::testing::TestWithParam<NumberingCase> {};

// Playing from the start shows every frame that decodes once, in order.
// Every seek shows the asked frame and names it; a frame that does not
// decode leaves a gap: its seek shows the next frame, named as that one and
// not reported as the asked one.
TEST_P(FrameNumbering, SeeksAndPlaybackShowTheNamedFrames) {
  const VideoSpec& spec = GetParam().spec;
  std::string path = mediatest::videoFor(spec);
  if (path.empty()) GTEST_SKIP() << "this FFmpeg build cannot write " << spec.codec;
  if (GetParam().rewrite) {
    const std::string rewritten =
        mediatest::scratchDir() + "/" + GetParam().name + "." + spec.container;
    std::string error;
    ASSERT_TRUE(GetParam().rewrite(path, rewritten, &error)) << error;
    path = rewritten;
  }
  Built b;
  ASSERT_TRUE(b.build(path));
  ASSERT_EQ(b.graph.CheckCapabilities(media::kCanSeekAbsolute | media::kCanGetDuration),
            media::kOk);
  std::int64_t count = 0;
  ASSERT_EQ(b.graph.GetDuration(&count), media::kOk);
  EXPECT_EQ(count, spec.frames);
  ASSERT_TRUE(b.playToEnd(100.0));
  std::vector<int> decodable;
  for (int i = 0; i < spec.frames; ++i)
    if (frameShownFor(spec, i) == i) decodable.push_back(i);
  EXPECT_EQ(b.callback->numbers(), decodable);
  for (int target : GetParam().targets) {
    SCOPED_TRACE(testing::Message() << "seek to " << target);
    const int shown = b.seekPaused(target);
    const int expected = frameShownFor(spec, target);
    EXPECT_EQ(shown, expected);
    std::int64_t position = -1;
    EXPECT_EQ(b.graph.GetCurrentPosition(&position), media::kOk);
    EXPECT_EQ(position, shown);
    EXPECT_EQ(b.graph.WaitForFrame(target, 5000), expected == target ? media::kOk : media::kFalse);
  }
}

const NumberingCase kNumberingCases[] = {
    // A frame that does not decode, among B-frames in AVI.
    {"AviH264ZeroedFrame", numbered("avi", "libx264", 300, 3, 250, true, {100}),
     {99, 100, 101, 102, 260, 299, 0, 150}},
    {"AviMpeg4ZeroedFrame", numbered("avi", "mpeg4", 60, 2, 15, true, {40}),
     {39, 40, 41, 42, 43, 59, 12, 0}},
    // Open groups of pictures in H.264: each keyframe after the first is
    // followed in decode order by B-frames shown before it.
    {"AviH264OpenGop", numbered("avi", "libx264", 300, 3, 30, false),
     {59, 60, 61, 119, 120, 121, 122, 298, 299, 29, 30, 0, 89, 90}},
    // A program stream without B-frames whose demuxer gives one keyframe
    // the timestamps of the next frame and counts on from there: one decode
    // time repeats where the file's timestamps resume.
    {"MpgMpeg2NoBFrames", numbered("mpg", "mpeg2video", 150, 0, 15),
     {104, 105, 106, 112, 113, 114, 149, 0, 60}},
    // Packed B-frames: a B-frame shares its packet with the reference
    // picture decoded before it and comes out of the decoder with the
    // nearly empty packet after, so pictures are counted as they come.
    {"AviMpeg4PackedBFrames", numbered("avi", "mpeg4", 30, 1, 12),
     {0, 1, 2, 3, 4, 11, 12, 13, 14, 29, 28, 27, 5}, testvideo::packBFrames},
    // After the last keyframe of an open group of pictures, in three
    // containers: the frames after it come only from a decoding begun in the
    // group before, typed or stepped to.
    {"MkvH264OpenGopEnd", numbered("mkv", "libx264", 75, 3, 24, false),
     {72, 73, 74, 20, 74, 73, 71, 48, 47, 73}},
    {"Mp4H264OpenGopEnd", numbered("mp4", "libx264", 75, 3, 24, false),
     {72, 73, 74, 20, 74, 73, 71, 48, 47, 73}},
    {"TsH264OpenGopEnd", numbered("ts", "libx264", 75, 3, 24, false),
     {72, 73, 74, 20, 74, 73, 71, 48, 47, 73}},
    // The last keyframe four frames before the end, two B-frames: the
    // second-to-last frame comes only from a decoding begun in the group
    // before, and frame threads hand out the last frame in its place.
    {"MkvH264OpenGopEndTwoB", numbered("mkv", "libx264", 28, 2, 12, false),
     {26, 27, 26, 25, 27, 26, 20, 26, 24}},
    {"Mp4H264OpenGopEndTwoB", numbered("mp4", "libx264", 28, 2, 12, false),
     {26, 27, 26, 25, 27, 26, 20, 26, 24}},
    {"TsH264OpenGopEndTwoB", numbered("ts", "libx264", 28, 2, 12, false),
     {26, 27, 26, 25, 27, 26, 20, 26, 24}},
};

INSTANTIATE_TEST_SUITE_P(Shapes, FrameNumbering, ::testing::ValuesIn(kNumberingCases),
                         [](const ::testing::TestParamInfo<NumberingCase>& info) {
                           return std::string(info.param.name);
                         });

class ZeroedPacketInAGroup : public ::testing::TestWithParam<const char*> {};

// A packet whose bytes were lost (zeroed) inside a group of pictures, VP8 or
// VP9 in Matroska: its frame does not decode, and the frames after it up to
// the next keyframe are the decoder's concealed pictures, named as a
// sequential decode names them. The zeroed packet reads as a keyframe to the
// demuxer, yet a seek past it still decodes from the keyframe before it.
TEST_P(ZeroedPacketInAGroup, SeeksPastItShowThePicturesAPlaybackShows) {
  const VideoSpec spec = numbered("mkv", GetParam(), 60, 0, 30);
  const std::string whole = mediatest::videoFor(spec);
  if (whole.empty()) GTEST_SKIP() << "this FFmpeg build cannot write " << spec.codec;
  const std::string path = mediatest::scratchDir() + "/zeroed_in_group_" + GetParam() + ".mkv";
  std::filesystem::copy_file(whole, path, std::filesystem::copy_options::overwrite_existing);
  std::string error;
  constexpr int kZeroed = 8;
  ASSERT_TRUE(testvideo::zeroVideoPacket(path, kZeroed, &error)) << error;

  Built b;
  ASSERT_TRUE(b.build(path));
  std::int64_t count = 0;
  ASSERT_EQ(b.graph.GetDuration(&count), media::kOk);
  EXPECT_EQ(count, 60);
  ASSERT_TRUE(b.playToEnd(100.0));
  // Every frame but the zeroed one, each picture kept by its index.
  const std::vector<double> times = b.callback->times();
  const std::vector<std::uint64_t> sums = b.callback->checksums();
  std::map<int, std::uint64_t> played;
  for (std::size_t i = 0; i < times.size(); ++i)
    played[static_cast<int>(std::lround(times[i] * spec.fps))] = sums[i];
  ASSERT_EQ(played.size(), 59u);
  EXPECT_EQ(played.count(kZeroed), 0u);
  const std::vector<int> numbers = b.callback->numbers();
  EXPECT_EQ(numbers[kZeroed - 1], kZeroed - 1);
  EXPECT_EQ(numbers[29], 30);  // the keyframe after the concealed pictures

  for (int target : {1, 25, kZeroed, 29, 12, 30}) {
    SCOPED_TRACE(testing::Message() << "seek to " << target);
    const int expected = target == kZeroed ? kZeroed + 1 : target;
    b.seekPaused(target);
    ASSERT_FALSE(b.callback->checksums().empty());
    EXPECT_EQ(b.callback->checksums().back(), played[expected]);
    std::int64_t position = -1;
    EXPECT_EQ(b.graph.GetCurrentPosition(&position), media::kOk);
    EXPECT_EQ(position, expected);
    EXPECT_EQ(b.graph.WaitForFrame(target, 5000), target == expected ? media::kOk : media::kFalse);
    media::DecodeStart start;
    ASSERT_EQ(b.graph.GetDecodeStart(&start), media::kOk);
    EXPECT_EQ(start.keyFrame, target < 30 ? 0 : 30);
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, ZeroedPacketInAGroup, ::testing::Values("libvpx", "libvpx-vp9"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param) == "libvpx" ? "Vp8" : "Vp9";
                         });

// VP9 in Matroska whose two frames before the keyframe at 30 were zeroed as
// they were written: the muxer takes them for frames not shown and packs them
// with the keyframe into one packet (listed as frame 28), which the decoder
// takes apart, so the second one's error comes when a frame is asked for.
// Neither error ends the video: playback, decoding on from an earlier frame
// and a seek from that packet all go on to the keyframe's frame and after.
TEST(FrameNumbering, AnErrorInsideAPacketOfSeveralFramesIsPassedOver) {
  const VideoSpec spec = numbered("mkv", "libvpx-vp9", 60, 0, 30, true, {28, 29});
  const std::string path = mediatest::videoFor(spec);
  if (path.empty()) GTEST_SKIP() << "this FFmpeg build cannot write " << spec.codec;
  Built b;
  ASSERT_TRUE(b.build(path));
  std::int64_t count = 0;
  ASSERT_EQ(b.graph.GetDuration(&count), media::kOk);
  ASSERT_EQ(count, 58);
  // Listed frame i shows picture i below 28 and picture i + 2 from there on.
  const auto picture = [](int listed) { return listed < 28 ? listed : listed + 2; };
  ASSERT_TRUE(b.playToEnd(100.0));
  std::vector<int> all;
  for (int i = 0; i < count; ++i) all.push_back(picture(i));
  EXPECT_EQ(b.callback->numbers(), all);
  for (int target : {1, 28, 40, 27, 29, 57}) {
    SCOPED_TRACE(testing::Message() << "seek to " << target);
    EXPECT_EQ(b.seekPaused(target), picture(target));
    std::int64_t position = -1;
    EXPECT_EQ(b.graph.GetCurrentPosition(&position), media::kOk);
    EXPECT_EQ(position, target);
    EXPECT_EQ(b.graph.WaitForFrame(target, 5000), media::kOk);
  }
  // The packet holds a keyframe among its frames: seeks after it start there.
  EXPECT_EQ(b.seekPaused(45), picture(45));
  media::DecodeStart start;
  ASSERT_EQ(b.graph.GetDecodeStart(&start), media::kOk);
  EXPECT_EQ(start.keyFrame, 28);
}

struct DamagedCase {
  const char* name;
  VideoSpec spec;
  std::vector<int> targets;
};

void PrintTo(const DamagedCase& c, std::ostream* os) { *os << c.name; }

class DamagedVideo : public ::testing::TestWithParam<DamagedCase> {};

// Moves to frame `target` of a built video, alternately from its first
// frame and as a step back from the frame after it, and counts the
// pictures shown for it by their checksums.
std::map<std::uint64_t, int> picturesOfMoves(Built& b, int target, int moves) {
  std::map<std::uint64_t, int> pictures;
  for (int move = 0; move < moves; ++move) {
    b.seekPaused(move % 2 ? target + 1 : 0);
    b.seekPaused(target);
    EXPECT_EQ(b.graph.WaitForFrame(target, 5000), media::kOk);
    ++pictures[b.callback->checksums().back()];
  }
  return pictures;
}

// A video whose packets 4, 9, 17 and 37 lost the middle third of their
// bytes, as bad sectors leave them: the decoder conceals what it lost, and
// the frames after the damage predict from its concealed pictures. The first
// move to a frame, playback, and every later move to it, from before it or
// a step back from after it, show one picture of it. The same video
// undamaged keeps its decoder threads.
TEST_P(DamagedVideo, EveryMoveToAFrameShowsOnePicture) {
  const VideoSpec& spec = GetParam().spec;
  const std::string whole = mediatest::videoFor(spec);
  if (whole.empty()) GTEST_SKIP() << "this FFmpeg build cannot write " << spec.codec;
  const std::string path =
      mediatest::scratchDir() + "/damaged_" + GetParam().name + "." + spec.container;
  std::filesystem::copy_file(whole, path, std::filesystem::copy_options::overwrite_existing);
  for (int packet : {4, 9, 17, 37}) {
    std::string error;
    ASSERT_TRUE(testvideo::zeroVideoPacket(path, packet, &error, 1.0 / 3, 2.0 / 3)) << error;
  }
  Built b;
  ASSERT_TRUE(b.build(path));
  std::map<int, std::uint64_t> first;  // the picture of each target's first move
  for (int target : GetParam().targets) {
    b.seekPaused(target);
    ASSERT_EQ(b.graph.WaitForFrame(target, 5000), media::kOk);
    first[target] = b.callback->checksums().back();
  }
  b.seekPaused(0);
  b.callback->clear();
  ASSERT_TRUE(b.playToEnd(100.0));
  std::map<int, std::uint64_t> played;  // each frame's picture, by its index
  const std::vector<double> times = b.callback->times();
  const std::vector<std::uint64_t> sums = b.callback->checksums();
  for (std::size_t i = 0; i < times.size(); ++i)
    played[static_cast<int>(std::lround(times[i] * spec.fps))] = sums[i];
  // Enough moves that frame threads showed several pictures every time.
  constexpr int kMoves = 20;
  for (int target : GetParam().targets) {
    SCOPED_TRACE(testing::Message() << "moves to " << target);
    ASSERT_EQ(played.count(target), 1u);
    EXPECT_EQ(played[target], first[target]);
    const std::map<std::uint64_t, int> pictures = picturesOfMoves(b, target, kMoves);
    EXPECT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures.count(first[target]), 1u);
  }

  Built clean;
  ASSERT_TRUE(clean.build(whole));
  media::DecodeStart opened;
  ASSERT_EQ(clean.graph.GetDecodeStart(&opened), media::kOk);
  for (int target : GetParam().targets) EXPECT_EQ(picturesOfMoves(clean, target, 4).size(), 1u);
  clean.seekPaused(8);
  media::DecodeStart after;
  ASSERT_EQ(clean.graph.GetDecodeStart(&after), media::kOk);
  EXPECT_EQ(after.decoderThreads, opened.decoderThreads);
}

VideoSpec damageable(const char* container, const char* codec, testvideo::Scene scene) {
  VideoSpec s = numbered(container, codec, 40, 2, 12);
  s.scene = scene;
  s.width = 320;
  s.height = 192;
  return s;
}

const DamagedCase kDamagedCases[] = {
    {"AviMpeg4", damageable("avi", "mpeg4", testvideo::Scene::Numbered), {8, 38}},
    {"MkvH264", damageable("mkv", "libx264", testvideo::Scene::NoisyNumbered), {8, 38}},
    {"Mp4H264", damageable("mp4", "libx264", testvideo::Scene::NoisyNumbered), {8, 38}},
    {"MkvHevc", damageable("mkv", "libx265", testvideo::Scene::NoisyNumbered), {8, 38}},
};

INSTANTIATE_TEST_SUITE_P(Codecs, DamagedVideo, ::testing::ValuesIn(kDamagedCases),
                         [](const ::testing::TestParamInfo<DamagedCase>& info) {
                           return std::string(info.param.name);
                         });

// Packets of the video stream that the demuxer marks to be discarded.
int discardedPackets(const std::string& path) {
  AVFormatContext* fc = nullptr;
  if (avformat_open_input(&fc, path.c_str(), nullptr, nullptr) < 0) return -1;
  int discarded = 0;
  if (avformat_find_stream_info(fc, nullptr) >= 0) {
    const int video = av_find_best_stream(fc, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVPacket* p = av_packet_alloc();
    while (p && av_read_frame(fc, p) >= 0) {
      if (p->stream_index == video && (p->flags & AV_PKT_FLAG_DISCARD)) ++discarded;
      av_packet_unref(p);
    }
    av_packet_free(&p);
  }
  avformat_close_input(&fc);
  return discarded;
}

class TrimmedCopy : public ::testing::TestWithParam<const char*> {};

// An MP4 or MOV cut by a stream copy at 5 seconds (frame 125) keeps the
// packets from the keyframe before, hidden by an edit list: only the frames
// it shows are counted and played, and frame 0 is the first of them.
TEST_P(TrimmedCopy, CountsOnlyTheFramesItShows) {
  const VideoSpec spec = numbered(GetParam(), "libx264", 300, 3, 250);
  const std::string whole = mediatest::videoFor(spec);
  if (whole.empty()) GTEST_SKIP() << "this FFmpeg build cannot write " << spec.codec;
  const std::string trimmed = mediatest::scratchDir() + "/trimmed." + GetParam();
  std::string error;
  ASSERT_TRUE(testvideo::trimByStreamCopy(whole, trimmed, 5.0, &error)) << error;
  ASSERT_EQ(discardedPackets(trimmed), 125);

  Built b;
  ASSERT_TRUE(b.build(trimmed));
  std::int64_t count = 0;
  ASSERT_EQ(b.graph.GetDuration(&count), media::kOk);
  EXPECT_EQ(count, 175);
  ASSERT_TRUE(b.playToEnd(100.0));
  std::vector<int> shown(175);
  for (int i = 0; i < 175; ++i) shown[i] = 125 + i;
  EXPECT_EQ(b.callback->numbers(), shown);
  for (int target : {0, 1, 2, 100, 174, 0, 50}) {
    SCOPED_TRACE(testing::Message() << "seek to " << target);
    EXPECT_EQ(b.seekPaused(target), 125 + target);
    EXPECT_EQ(b.graph.WaitForFrame(target, 5000), media::kOk);
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, TrimmedCopy, ::testing::Values("mp4", "mov"));

}  // namespace
