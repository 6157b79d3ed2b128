// The frame a position names is the frame shown: numbered test videos whose
// frame numbers are read back from the delivered pictures, in shapes where
// counting the decoder's pictures or the file's packets goes wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/media/media_graph.h"
#include "tests/platform/media/media_test_util.h"
#include "tests/support/stream_copy.h"

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
  b.graph.SetRate(100.0);
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  EXPECT_EQ(code, media::kEventComplete);
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
};

INSTANTIATE_TEST_SUITE_P(Shapes, FrameNumbering, ::testing::ValuesIn(kNumberingCases),
                         [](const ::testing::TestParamInfo<NumberingCase>& info) {
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
  b.graph.SetRate(100.0);
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
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
