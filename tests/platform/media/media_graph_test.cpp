#include "platform/media/media_graph.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
}

#include "tests/platform/media/media_test_util.h"
#include "tests/support/stream_copy.h"
#include "tests/support/video_damage.h"

using media::GraphState;
using media::MediaGraph;
using mediatest::RecordingCallback;
using testvideo::VideoSpec;

namespace testvideo {
// Names a table row in test output by its container, codec and shape.
void PrintTo(const VideoSpec& spec, std::ostream* os) { *os << mediatest::specName(spec); }
}  // namespace testvideo

namespace {

VideoSpec makeSpec(const char* container, const char* codec, int bFrames, bool lossless = false,
                   int width = 96, int height = 64) {
  VideoSpec s;
  s.container = container;
  s.codec = codec;
  s.bFrames = bFrames;
  s.lossless = lossless;
  s.width = width;
  s.height = height;
  s.frames = 30;
  s.gop = 12;
  return s;
}

VideoSpec openGop(VideoSpec s) {
  s.closedGop = false;
  return s;
}

using mediatest::Built;

class ContainerCodec : public ::testing::TestWithParam<VideoSpec> {
 protected:
  void SetUp() override {
    path_ = mediatest::videoFor(GetParam());
    if (path_.empty()) GTEST_SKIP() << "this FFmpeg build cannot write " << GetParam().codec;
  }
  std::string path_;
};

// Every seek, forwards and backwards, across and inside groups of pictures,
// delivers exactly the asked frame before the pause completes.
TEST_P(ContainerCodec, EverySeekDeliversThatFrame) {
  Built b;
  ASSERT_TRUE(b.build(path_));
  std::int64_t count = 0;
  ASSERT_EQ(b.graph.GetDuration(&count), media::kOk);
  ASSERT_EQ(count, 30);
  ASSERT_EQ(b.graph.CheckCapabilities(media::kCanSeekAbsolute | media::kCanGetDuration),
            media::kOk);
  for (int target : {0, 29, 11, 12, 13, 5, 24, 23, 1, 18, 17, 17, 0, 25, 26}) {
    EXPECT_EQ(b.seekPaused(target), target) << "seek to " << target;
    std::int64_t position = -1;
    b.graph.GetCurrentPosition(&position);
    EXPECT_EQ(position, target);
  }
}

// Running from the start delivers every frame once, in order, with rising
// sample times, then reports the end of the stream through the hook.
TEST_P(ContainerCodec, PlaybackDeliversEveryFrameOnceThenCompletes) {
  Built b;
  ASSERT_TRUE(b.build(path_));
  b.graph.SetRate(8.0);
  ASSERT_FALSE(media::Failed(b.graph.Run()));
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  EXPECT_EQ(code, media::kEventComplete);
  // The hook runs on the streaming thread right after the event is queued.
  for (int i = 0; i < 5000 && b.notifications.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GE(b.notifications.load(), 1);
  const std::vector<int> numbers = b.callback->numbers();
  std::vector<int> expected(30);
  for (int i = 0; i < 30; ++i) expected[i] = i;
  EXPECT_EQ(numbers, expected);
  const std::vector<double> times = b.callback->times();
  for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]);
  // After the end: pause and rewind to frame 0.
  EXPECT_EQ(b.seekPaused(0), 0);
}

const VideoSpec kTable[] = {
    makeSpec("avi", "mpeg4", 0),
    makeSpec("avi", "mpeg4", 2),
    makeSpec("avi", "libx264", 2),
    makeSpec("avi", "ffv1", 0, true),
    makeSpec("mp4", "libx264", 2),
    makeSpec("mp4", "mpeg4", 2),
    makeSpec("mp4", "libx264", 0, true),
    makeSpec("mov", "qtrle", 0, true),
    makeSpec("mov", "libx264", 2),
    makeSpec("mkv", "libx264", 2),
    makeSpec("mkv", "ffv1", 0, true),
    makeSpec("ts", "libx264", 2),
    makeSpec("mpg", "mpeg2video", 2),
    makeSpec("mpg", "mpeg2video", 0),
    // Open groups of pictures: the B-frames decoded right after a keyframe
    // are shown before it and refer to the group before. The program stream
    // is made large enough for the demuxer to seek into its middle.
    openGop(makeSpec("avi", "mpeg4", 2)),
    openGop(makeSpec("mpg", "mpeg2video", 2, false, 160, 128)),
};

INSTANTIATE_TEST_SUITE_P(Table, ContainerCodec, ::testing::ValuesIn(kTable),
                         [](const ::testing::TestParamInfo<VideoSpec>& info) {
                           return mediatest::specName(info.param);
                         });

// A seek decodes from the nearest keyframe at or before the frame, whether
// the demuxer searches by presentation time (MP4, MOV, Matroska) or by decode
// time (MPEG transport stream, AVI): no earlier group of pictures is decoded
// on the way.
TEST(MediaGraph, SeekDecodesFromTheNearestKeyframeBefore) {
  struct Row {
    VideoSpec spec;
    int keyEvery;  // where the encoder puts keyframes, in display order
  };
  auto sixty = [](VideoSpec s) {
    s.frames = 60;
    return s;
  };
  // x264 puts a keyframe every 12 frames; the MPEG-4 encoder, counting its
  // group of pictures differently with B-frames, every 10.
  const Row rows[] = {{sixty(makeSpec("mp4", "libx264", 2)), 12},
                      {sixty(makeSpec("mov", "libx264", 2)), 12},
                      {sixty(makeSpec("mkv", "libx264", 2)), 12},
                      {sixty(makeSpec("ts", "libx264", 2)), 12},
                      {sixty(makeSpec("avi", "libx264", 2)), 12},
                      {sixty(makeSpec("mp4", "mpeg4", 2)), 10}};
  for (const Row& row : rows) {
    SCOPED_TRACE(mediatest::specName(row.spec));
    const std::string path = mediatest::videoFor(row.spec);
    if (path.empty()) continue;  // this FFmpeg build cannot write it
    Built b;
    ASSERT_TRUE(b.build(path));
    // Backwards and forwards, into every group of pictures, at its keyframe
    // and on either side of the next one.
    for (int target : {59, 47, 30, 25, 12, 13, 23, 5, 36, 11, 48, 24, 20, 19}) {
      SCOPED_TRACE(target);
      ASSERT_EQ(b.seekPaused(target), target);
      media::DecodeStart start;
      ASSERT_EQ(b.graph.GetDecodeStart(&start), media::kOk);
      const int key = target / row.keyEvery * row.keyEvery;
      EXPECT_EQ(start.keyFrame, key);
      // The frames from the keyframe to the target, the few packets the
      // decoder holds back to put B-frames in display order, and those its
      // frame threads take in before the first frame comes out.
      EXPECT_LE(start.packetsDecoded,
                target - key + 1 + row.spec.bFrames + 2 + (start.decoderThreads - 1));
    }
  }
}

// The decoder runs on the machine's cores, not on one.
TEST(MediaGraph, DecoderRunsOnTheMachinesCores) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "a machine of one core";
  Built b;
  ASSERT_TRUE(b.build(mediatest::videoFor(makeSpec("mp4", "libx264", 2))));
  media::DecodeStart start;
  ASSERT_EQ(b.graph.GetDecodeStart(&start), media::kOk);
  EXPECT_GT(start.decoderThreads, 1);
}

// A lossless video 90 pixels wide: rows of 270 bytes padded to 272, the
// bottom row first, bytes in blue-green-red order.
TEST(MediaGraph, RowsAreBottomUpPaddedAndBlueFirst) {
  const std::string path = mediatest::videoFor(makeSpec("avi", "ffv1", 0, true, 90, 64));
  ASSERT_FALSE(path.empty());
  Built b;
  ASSERT_TRUE(b.build(path));
  ASSERT_EQ(b.seekPaused(7), 7);
  const long stride = 272;
  ASSERT_EQ(b.callback->lastLength(), stride * 64);
  const std::vector<std::uint8_t> buf = b.callback->lastBuffer();
  // Expected picture, top-down RGB.
  std::vector<std::uint8_t> rgb(90 * 3 * 64);
  testvideo::drawFrame(7, 90, 64, rgb.data(), 90 * 3);
  int mismatches = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 90; ++x) {
      const std::uint8_t* got = &buf[static_cast<std::size_t>(y) * stride + 3 * x];
      const std::uint8_t* want = &rgb[static_cast<std::size_t>(63 - y) * 270 + 3 * x];
      if (got[0] != want[2] || got[1] != want[1] || got[2] != want[0]) ++mismatches;
    }
  EXPECT_EQ(mismatches, 0);
  // Row 0 is the bottom of the picture: the red bar on the left.
  EXPECT_EQ(buf[0], 30);
  EXPECT_EQ(buf[2], 220);
}

TEST(MediaGraph, PauseStopsDeliveryAndRunGoesOn) {
  VideoSpec spec = makeSpec("avi", "mpeg4", 2);
  spec.frames = 60;
  const std::string path = mediatest::videoFor(spec);
  Built b;
  ASSERT_TRUE(b.build(path));
  b.graph.SetRate(4.0);
  b.graph.Run();
  while (b.callback->numbers().size() < 5) std::this_thread::yield();
  b.graph.Pause();
  GraphState state;
  ASSERT_EQ(b.graph.GetState(5000, &state), media::kOk);
  EXPECT_EQ(state, GraphState::Paused);
  const std::size_t delivered = b.callback->numbers().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(b.callback->numbers().size(), delivered);
  std::int64_t position = -1;
  b.graph.GetCurrentPosition(&position);
  EXPECT_EQ(position, b.callback->numbers().back());
  b.graph.SetRate(50.0);
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  const std::vector<int> numbers = b.callback->numbers();
  ASSERT_EQ(numbers.size(), 60u);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(numbers[i], i);
}

TEST(MediaGraph, MediaTimeFormatCountsHundredNanoseconds) {
  const std::string path = mediatest::videoFor(makeSpec("mkv", "ffv1", 0, true));
  RecordingCallback cb(96, 64);
  MediaGraph graph;
  ASSERT_EQ(graph.Load(path), media::kOk);
  ASSERT_EQ(graph.Connect(), media::kOk);
  media::VideoFormat format;
  ASSERT_EQ(graph.GetConnectedMediaType(&format), media::kOk);
  graph.SetCallback(&cb);
  ASSERT_EQ(graph.Render(), media::kOk);
  std::int64_t duration = 0;
  graph.GetDuration(&duration);
  EXPECT_EQ(duration, 30 * 400000);  // 30 frames at 25 per second
  ASSERT_EQ(graph.SetPositions(8 * 400000), media::kOk);
  graph.Pause();
  GraphState state;
  ASSERT_EQ(graph.GetState(5000, &state), media::kOk);
  ASSERT_FALSE(cb.numbers().empty());
  EXPECT_EQ(cb.numbers().back(), 8);
}

TEST(MediaGraph, SeekPastTheEndWhileRunningCompletes) {
  Built b;
  ASSERT_TRUE(b.build(mediatest::videoFor(makeSpec("mp4", "libx264", 2))));
  b.graph.SetPositions(30);  // the frame count itself, as a slider at 100 asks
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  EXPECT_EQ(code, media::kEventComplete);
  EXPECT_TRUE(b.callback->numbers().empty());
  EXPECT_EQ(b.seekPaused(3), 3);
}

TEST(MediaGraph, RefusesBadArguments) {
  Built b;
  ASSERT_TRUE(b.build(mediatest::videoFor(makeSpec("avi", "mpeg4", 0))));
  EXPECT_EQ(b.graph.SetRate(0.0), media::kInvalidArg);
  EXPECT_EQ(b.graph.SetRate(-1.0), media::kInvalidArg);
  EXPECT_EQ(b.graph.SetPositions(-1), media::kInvalidArg);
  EXPECT_EQ(b.graph.GetDuration(nullptr), media::kPointer);
  long c, p1, p2;
  EXPECT_EQ(b.graph.GetEvent(&c, &p1, &p2, 0), media::kFail);
}

TEST(MediaGraph, OperationsBeforeBuildingFail) {
  MediaGraph graph;
  EXPECT_TRUE(media::Failed(graph.Connect()));
  EXPECT_TRUE(media::Failed(graph.Run()));
  EXPECT_TRUE(media::Failed(graph.SetPositions(0)));
  media::VideoFormat f;
  EXPECT_TRUE(media::Failed(graph.GetConnectedMediaType(&f)));
}

// Files that are missing, empty, not videos, or cut short fail at a named
// step or play what they hold; none crashes or hangs.
TEST(MediaGraph, BadFilesFailCleanly) {
  const std::string dir = mediatest::scratchDir();
  {
    MediaGraph graph;
    EXPECT_EQ(graph.Load(dir + "/missing.avi"), media::kCannotLoad);
  }
  {
    std::ofstream(dir + "/empty.avi").close();
    MediaGraph graph;
    EXPECT_EQ(graph.Load(dir + "/empty.avi"), media::kCannotLoad);
  }
  {
    std::ofstream f(dir + "/noise.avi", std::ios::binary);
    std::uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
      x = x * 1664525u + 1013904223u;
      f.put(static_cast<char>(x >> 24));
    }
  }
  {
    MediaGraph graph;
    const media::MediaStatus s = graph.Load(dir + "/noise.avi");
    if (!media::Failed(s)) {
      EXPECT_TRUE(media::Failed(graph.Connect()));
    }
  }
  // Truncated copies of a real video, at several lengths.
  const std::string good = mediatest::videoFor(makeSpec("mp4", "libx264", 2));
  std::ifstream in(good, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (std::size_t keep : {std::size_t{16}, bytes.size() / 3, bytes.size() - 100}) {
    const std::string cut = dir + "/cut.mp4";
    std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<long>(keep));
    Built b;
    if (!b.build(cut)) continue;  // refused at a named step
    b.graph.SetRate(50.0);
    b.graph.Run();
    long code = 0;
    EXPECT_TRUE(b.waitForEvent(&code));
    b.seekPaused(0);
  }
  const std::string avi = mediatest::videoFor(makeSpec("avi", "mpeg4", 2));
  std::ifstream in2(avi, std::ios::binary);
  std::string aviBytes((std::istreambuf_iterator<char>(in2)), std::istreambuf_iterator<char>());
  {
    // Cut inside the frame data (the index at the end is lost): the frames
    // whose references all arrived can still be found by number.
    const std::string cut = dir + "/cut.avi";
    const std::size_t dataStart = aviBytes.find("movi");
    ASSERT_NE(dataStart, std::string::npos);
    const std::size_t keep = dataStart + (aviBytes.size() - dataStart) / 2;
    std::ofstream(cut, std::ios::binary).write(aviBytes.data(), static_cast<long>(keep));
    Built b;
    ASSERT_TRUE(b.build(cut));
    std::int64_t count = 0;
    b.graph.GetDuration(&count);
    EXPECT_GT(count, 5);
    EXPECT_LT(count, 30);
    for (std::int64_t target : {count - 5, std::int64_t{1}, count / 2, std::int64_t{0}})
      EXPECT_EQ(b.seekPaused(target), target);
  }
  // Damage the middle of the data: decoding goes on past it.
  for (std::size_t i = aviBytes.size() / 2; i < aviBytes.size() / 2 + 200; ++i) aviBytes[i] ^= 0x5a;
  const std::string damaged = dir + "/damaged.avi";
  std::ofstream(damaged, std::ios::binary).write(aviBytes.data(), static_cast<long>(aviBytes.size()));
  Built d;
  if (d.build(damaged)) {
    d.graph.SetRate(50.0);
    d.graph.Run();
    long code = 0;
    EXPECT_TRUE(d.waitForEvent(&code));
    d.seekPaused(20);
  }
}

// Destroying a graph in every state, also in the middle of playback.
TEST(MediaGraph, TearDownInAnyState) {
  const std::string path = mediatest::videoFor(makeSpec("mkv", "libx264", 2));
  for (int mode = 0; mode < 4; ++mode) {
    Built b;
    ASSERT_TRUE(b.build(path));
    if (mode == 1) b.graph.Run();
    if (mode == 2) {
      b.graph.SetPositions(20);
      b.graph.Pause();
    }
    if (mode == 3) {
      b.graph.SetRate(8.0);
      b.graph.Run();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      b.graph.Stop();
    }
  }
}

// A pipe cannot seek: no index, no length, no seeking; the video plays once.
TEST(MediaGraph, InputThatCannotSeekPlaysOnce) {
  mediatest::FifoFeeder feed(mediatest::videoFor(makeSpec("mkv", "libx264", 2)), "pipe.mkv");
  Built b;
  ASSERT_TRUE(b.build(feed.path()));
  EXPECT_NE(b.graph.CheckCapabilities(media::kCanSeekAbsolute | media::kCanGetDuration),
            media::kOk);
  EXPECT_TRUE(media::Failed(b.graph.SetTimeFormat(media::TimeFormat::Frame)));
  std::int64_t duration = 0;
  EXPECT_TRUE(media::Failed(b.graph.GetDuration(&duration)));
  EXPECT_TRUE(media::Failed(b.graph.SetPositions(3)));
  b.graph.SetRate(8.0);
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  EXPECT_EQ(code, media::kEventComplete);
  const std::vector<int> numbers = b.callback->numbers();
  ASSERT_EQ(numbers.size(), 30u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(numbers[i], i);
}

// A pipe whose writer stays but stops writing in the middle of the video:
// once the wait for data runs out, the frames that came have been shown and
// the graph reports that the input can no longer be read, not its end.
TEST(MediaGraph, PipeThatStallsStopsWithAnError) {
  const std::string video = mediatest::videoFor(makeSpec("mkv", "ffv1", 0, true));
  mediatest::FifoFeeder feed(video, "stalling.mkv", std::filesystem::file_size(video) / 2);
  Built b;
  ASSERT_TRUE(b.build(feed.path()));
  b.graph.SetRate(8.0);
  b.graph.Run();
  long code = 0, p1 = 0, p2 = 0;
  // Generous: the wait for data alone takes media::kInputWaitMs.
  ASSERT_EQ(b.graph.GetEvent(&code, &p1, &p2, 60000), media::kOk);
  EXPECT_EQ(code, media::kEventErrorAbort);
  const std::vector<int> numbers = b.callback->numbers();
  ASSERT_FALSE(numbers.empty());
  EXPECT_LT(numbers.size(), 30u);
  for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<int>(i));
  GraphState state;
  b.graph.Run();
  b.graph.GetState(100, &state);
  EXPECT_EQ(b.graph.GetEvent(&code, &p1, &p2, 200), media::kFail);  // no second report
}

TEST(MediaGraph, SurfaceShowsTheLastFrame) {
  Built b;
  ASSERT_TRUE(b.build(mediatest::videoFor(makeSpec("mov", "qtrle", 0, true))));
  std::atomic<int> repaints{0};
  b.graph.Surface().SetListener([&] { ++repaints; });
  ASSERT_EQ(b.seekPaused(9), 9);
  std::vector<std::uint8_t> pixels;
  int w = 0, h = 0, stride = 0;
  ASSERT_TRUE(b.graph.Surface().Snapshot(&pixels, &w, &h, &stride));
  EXPECT_EQ(w, 96);
  EXPECT_EQ(h, 64);
  EXPECT_EQ(testvideo::readFrameNumber(pixels.data(), w, h, stride), 9);
  EXPECT_GE(repaints.load(), 1);
}

}  // namespace

// Widths whose rows are not a whole number of the colour converter's vector
// blocks: every pixel of each row must arrive, the right edge included, and
// the converter must not write past the rows it was given.
TEST(MediaGraph, WidthsOffTheConvertersBlocksKeepTheRightEdge) {
  for (int width : {34, 50, 98}) {
    SCOPED_TRACE(width);
    VideoSpec spec = makeSpec("avi", "mpeg4", 0, false, width, 32);
    spec.frames = 3;
    const std::string path = mediatest::videoFor(spec);
    ASSERT_FALSE(path.empty());
    Built b;
    ASSERT_TRUE(b.build(path));
    ASSERT_EQ(b.seekPaused(1), 1);
    const std::vector<std::uint8_t> buf = b.callback->lastBuffer();
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    ASSERT_EQ(buf.size(), stride * 32);
    // Bottom half (rows 0 to 15 from the bottom, away from the edge between
    // the halves): red bar on the left, blue bar on the right, coded lossily.
    int wrong = 0;
    for (int y = 1; y < 14; ++y) {
      const std::uint8_t* row = &buf[y * stride];
      const std::uint8_t* right = row + (width - 1) * 3;
      if (std::abs(row[2] - 220) > 50 || std::abs(row[0] - 30) > 50) ++wrong;
      if (std::abs(right[0] - 220) > 50 || std::abs(right[2] - 30) > 50) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
  }
}

namespace {

// Copies `in` to `out`, handing each video packet with its number to `edit`
// first, which may change it or return false to leave it out.
bool copyVideoPackets(const std::string& in, const std::string& out,
                      const std::function<bool(int, AVPacket*)>& edit) {
  int number = 0;
  return testvideo::copyStreams(in, out, [&](AVFormatContext* ic, AVPacket* p) {
    const bool video = ic->streams[p->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    return !video || edit(number++, p);
  }, nullptr);
}

}  // namespace

// A video whose first frames belong to a group of pictures whose keyframe
// was cut off: seeking into them, and playing from the start, show the
// frames from the first keyframe on instead of ending at once. A seek into
// them names the keyframe's frame it shows, never the frame asked for.
TEST(MediaGraph, VideoStartingWithoutAKeyframePlaysFromItsFirstKeyframe) {
  for (const char* container : {"avi", "mp4"}) {
    SCOPED_TRACE(container);
    VideoSpec spec = makeSpec(container, "mpeg4", 0);
    spec.frames = 20;
    spec.gop = 8;
    const std::string whole = mediatest::videoFor(spec);
    ASSERT_FALSE(whole.empty());
    const std::string cut = mediatest::scratchDir() + "/nokey." + container;
    // Without its first three video packets, as a stream cut in the middle
    // of a group of pictures.
    ASSERT_TRUE(copyVideoPackets(whole, cut, [](int n, AVPacket*) { return n >= 3; }));
    Built b;
    ASSERT_TRUE(b.build(cut));
    std::int64_t frames = 0;
    ASSERT_EQ(b.graph.GetDuration(&frames), media::kOk);
    ASSERT_EQ(frames, 17);
    // Display index 5 is the keyframe that carries frame number 8.
    EXPECT_EQ(b.seekPaused(0), 8);
    std::int64_t position = -1;
    EXPECT_EQ(b.graph.GetCurrentPosition(&position), media::kOk);
    EXPECT_EQ(position, 5);
    EXPECT_EQ(b.seekPaused(2), 8);
    // Frame 2 never came: the keyframe's frame did, in its place.
    EXPECT_EQ(b.graph.WaitForFrame(2, 5000), media::kFalse);
    EXPECT_EQ(b.graph.WaitForFrame(5, 5000), media::kOk);
    EXPECT_EQ(b.graph.WaitForFrame(6, 5000), media::kFalse);
    EXPECT_EQ(b.seekPaused(10), 13);
    EXPECT_EQ(b.seekPaused(16), 19);
    // Playing from the start delivers the rest of the video, then completes.
    b.seekPaused(0);
    b.callback->clear();
    b.graph.SetRate(50.0);
    b.graph.Run();
    long code = 0;
    ASSERT_TRUE(b.waitForEvent(&code));
    EXPECT_EQ(code, media::kEventComplete);
    const std::vector<int> played = b.callback->numbers();
    ASSERT_FALSE(played.empty());
    EXPECT_EQ(played.front(), 9);
    EXPECT_EQ(played.back(), 19);
  }
}

// An MPEG program stream whose first video packet is garbage: the demuxer's
// parser then finds timestamps missing and out of order, so the index gives
// no frame positions and the video cannot seek. It still plays what can be
// decoded, from the start of the file, and then completes.
TEST(MediaGraph, VideoWithoutUsableTimestampsPlaysFromTheStart) {
  VideoSpec spec = makeSpec("mpg", "mpeg1video", 2);
  spec.frames = 30;
  const std::string whole = mediatest::videoFor(spec);
  ASSERT_FALSE(whole.empty());
  const std::string garbled = mediatest::scratchDir() + "/garbled.mpg";
  ASSERT_TRUE(copyVideoPackets(whole, garbled, [](int n, AVPacket* p) {
    std::uint32_t x = 1;
    if (n == 0)
      for (int i = 0; i < p->size; ++i) {
        x = x * 1664525u + 1013904223u;
        p->data[i] = static_cast<std::uint8_t>(x >> 24);
      }
    return true;
  }));
  Built b;
  ASSERT_TRUE(b.build(garbled));
  b.graph.SetRate(50.0);
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  EXPECT_EQ(code, media::kEventComplete);
  const std::vector<int> played = b.callback->numbers();
  ASSERT_GE(played.size(), 10u);
  EXPECT_EQ(played.back(), 29);
}

// Keyframes that share their timestamps (every frame a keyframe, each time
// given to two frames in a row): no timestamp tells them apart, so the video
// does not seek, and it plays every frame from the start.
TEST(MediaGraph, KeyframesSharingTimestampsLeaveTheVideoUnseekable) {
  VideoSpec spec = makeSpec("mkv", "ffv1", 0, true);
  spec.gop = 1;
  const std::string whole = mediatest::videoFor(spec);
  ASSERT_FALSE(whole.empty());
  const std::string paired = mediatest::scratchDir() + "/paired.mkv";
  ASSERT_TRUE(copyVideoPackets(whole, paired, [](int n, AVPacket* p) {
    p->pts = p->dts = av_rescale_q(n / 2, AVRational{1, 25}, AVRational{1, 1000});
    return true;
  }));
  Built b;
  ASSERT_TRUE(b.build(paired));
  EXPECT_NE(b.graph.CheckCapabilities(media::kCanSeekAbsolute), media::kOk);
  b.graph.SetRate(50.0);
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  EXPECT_EQ(code, media::kEventComplete);
  std::vector<int> expected(30);
  for (int i = 0; i < 30; ++i) expected[i] = i;
  EXPECT_EQ(b.callback->numbers(), expected);
}

// A file cut short while open: the demuxer's seeks find nothing and the
// file cannot be opened again. The graph reports the error once, stops, and
// refuses later seeks; nothing it does afterwards touches the lost input.
TEST(MediaGraph, FileCutShortWhileOpenStopsWithAnError) {
  // Fine texture kept losslessly: files far larger than the reader's buffer.
  std::vector<VideoSpec> specs = {makeSpec("mp4", "libx264", 0, true, 320, 240),
                                  makeSpec("avi", "ffv1", 0, true, 320, 240),
                                  makeSpec("mkv", "ffv1", 0, true, 320, 240)};
  for (VideoSpec& spec : specs) {
    spec.scene = testvideo::Scene::Panning;
    if (!testvideo::canWrite(spec)) continue;
    for (std::uintmax_t keep : {std::uintmax_t{0}, std::uintmax_t{16}}) {
      SCOPED_TRACE(mediatest::specName(spec) + " cut to " + std::to_string(keep));
      const std::string copy = mediatest::scratchDir() + "/shrinking." + spec.container;
      std::filesystem::copy_file(mediatest::videoFor(spec), copy,
                                 std::filesystem::copy_options::overwrite_existing);
      ASSERT_GT(std::filesystem::file_size(copy), 400000u);
      Built b;
      ASSERT_TRUE(b.build(copy));
      ASSERT_EQ(b.graph.SetPositions(25), media::kOk);
      b.graph.Pause();
      ASSERT_EQ(b.graph.WaitForFrame(25, 10000), media::kOk);
      std::filesystem::resize_file(copy, keep);

      ASSERT_EQ(b.graph.SetPositions(3), media::kOk);
      b.graph.Pause();
      long code = 0;
      ASSERT_TRUE(b.waitForEvent(&code));
      EXPECT_EQ(code, media::kEventErrorAbort);
      EXPECT_EQ(b.graph.WaitForFrame(3, 5000), media::kFail);
      const std::size_t delivered = b.callback->numbers().size();
      GraphState state;

      // Every later command is harmless; seeks are refused.
      for (std::int64_t frame : {0, 12, 29}) {
        EXPECT_EQ(b.graph.SetPositions(frame), media::kFail);
        b.graph.Pause();
        b.graph.GetState(100, &state);
      }
      b.graph.Run();
      b.graph.GetState(100, &state);
      long p1 = 0, p2 = 0;
      EXPECT_EQ(b.graph.GetEvent(&code, &p1, &p2, 200), media::kFail);  // no second report
      b.graph.Stop();
      EXPECT_EQ(b.callback->numbers().size(), delivered);
    }
  }
}

// WaitForFrame tells which frame a seek delivered, and refuses to answer
// for a frame that never came.
TEST(MediaGraph, WaitForFrameNamesTheDeliveredFrame) {
  Built b;
  ASSERT_TRUE(b.build(mediatest::videoFor(makeSpec("mkv", "libx264", 2))));
  for (std::int64_t frame : {17, 3, 29, 3}) {
    ASSERT_EQ(b.graph.SetPositions(frame), media::kOk);
    b.graph.Pause();
    EXPECT_EQ(b.graph.WaitForFrame(frame, 10000), media::kOk);
    EXPECT_EQ(b.callback->numbers().back(), frame);
    EXPECT_EQ(b.graph.WaitForFrame(frame + 1, 10000), media::kFalse);
  }
  // Past the end nothing is delivered.
  ASSERT_EQ(b.graph.SetPositions(30), media::kOk);
  b.graph.Pause();
  EXPECT_EQ(b.graph.WaitForFrame(30, 10000), media::kFail);
}

// A seek asked for while the frame of the one before is still being handed
// over is not undone: from the moment it is asked, the position reported is
// the new one, also after that older frame has gone out, until its own frame
// comes.
TEST(MediaGraph, PendingSeekKeepsItsPositionWhileAnOlderFrameGoesOut) {
  mediatest::HoldingCallback hold;  // outlives the graph's streaming thread
  Built b;
  ASSERT_TRUE(b.build(mediatest::videoFor(makeSpec("mp4", "libx264", 2))));
  ASSERT_EQ(b.seekPaused(10), 10);
  hold.forwardTo(b.callback.get());
  b.graph.SetCallback(&hold);
  std::int64_t position = -1;
  ASSERT_EQ(b.graph.SetPositions(11), media::kOk);
  ASSERT_TRUE(hold.waitArrivals(1));  // frame 11 is being handed over
  ASSERT_EQ(b.graph.SetPositions(12), media::kOk);
  b.graph.GetCurrentPosition(&position);
  EXPECT_EQ(position, 12);
  hold.release();
  ASSERT_TRUE(hold.waitArrivals(2));  // frame 11 is out, frame 12 on its way
  b.graph.GetCurrentPosition(&position);
  EXPECT_EQ(position, 12);
  hold.releaseAll();
  GraphState state;
  ASSERT_EQ(b.graph.GetState(5000, &state), media::kOk);
  b.graph.GetCurrentPosition(&position);
  EXPECT_EQ(position, 12);
  EXPECT_EQ(b.callback->numbers().back(), 12);
  EXPECT_EQ(b.graph.WaitForFrame(12, 5000), media::kOk);
}

// An MP4 whose index comes first, cut off inside its last packet: the index
// lists a frame that never decodes. A move that brings no frame (a step on
// to that frame, typing it from further back, a seek past the end) leaves
// the picture shown, and the position names that picture, not the target.
TEST(MediaGraph, AMoveThatBringsNoFrameLeavesThePositionOnThePictureShown) {
  VideoSpec spec = makeSpec("mp4", "libx264", 3, false, 160, 128);
  spec.frames = 75;
  spec.fastStart = true;
  const std::string whole = mediatest::videoFor(spec);
  ASSERT_FALSE(whole.empty());
  const std::string cut = mediatest::scratchDir() + "/cut_in_last_packet.mp4";
  std::string error;
  ASSERT_TRUE(testvideo::copyByteRange(whole, cut, 0, std::filesystem::file_size(whole) * 2 / 3,
                                       &error)) << error;
  Built b;
  ASSERT_TRUE(b.build(cut));
  std::int64_t count = 0;
  ASSERT_EQ(b.graph.GetDuration(&count), media::kOk);
  ASSERT_GT(count, 24);
  ASSERT_LT(count, 75);
  b.graph.SetRate(100.0);
  b.graph.Run();
  long code = 0;
  ASSERT_TRUE(b.waitForEvent(&code));
  const int last = static_cast<int>(count) - 1;  // listed, but it never decodes
  std::vector<int> decodable(last);
  for (int i = 0; i < last; ++i) decodable[i] = i;
  ASSERT_EQ(b.callback->numbers(), decodable);

  const struct Move {
    int from, to;
  } moves[] = {{last - 1, last}, {5, last}, {last - 3, last + 1}};
  for (const Move& m : moves) {
    SCOPED_TRACE(testing::Message() << "from " << m.from << " to " << m.to);
    ASSERT_EQ(b.seekPaused(m.from), m.from);
    const std::size_t delivered = b.callback->numbers().size();
    b.seekPaused(m.to);
    EXPECT_EQ(b.callback->numbers().size(), delivered);
    std::int64_t position = -1;
    EXPECT_EQ(b.graph.GetCurrentPosition(&position), media::kOk);
    EXPECT_EQ(position, m.from);
    EXPECT_EQ(b.graph.WaitForFrame(m.to, 5000), media::kFail);
    std::vector<std::uint8_t> pixels;
    int w = 0, h = 0, stride = 0;
    ASSERT_TRUE(b.graph.Surface().Snapshot(&pixels, &w, &h, &stride));
    EXPECT_EQ(testvideo::readFrameNumber(pixels.data(), w, h, stride), m.from);
  }
}

// A header promising frames larger than its packets hold: the video opens
// and can be positioned, but no frame ever reaches the callback.
TEST(MediaGraph, VideoWhoseFramesNeverDecodeDeliversNothing) {
  const std::string path = mediatest::scratchDir() + "/undecodable.avi";
  std::string error;
  ASSERT_TRUE(testvideo::writeUndecodableVideo(path, 96, 64, 10, &error)) << error;
  Built b;
  ASSERT_TRUE(b.build(path));
  for (std::int64_t frame : {0, 5}) {
    b.graph.SetPositions(frame);
    b.graph.Pause();
    EXPECT_EQ(b.graph.WaitForFrame(frame, 10000), media::kFail);
  }
  EXPECT_TRUE(b.callback->numbers().empty());
}

// A named pipe that no writer feeds must not hold the open for ever: it is
// refused as a file that cannot be loaded once the wait for data runs out.
TEST(MediaGraph, PipeWithoutAWriterIsRefused) {
  const std::string fifo = mediatest::scratchDir() + "/silent.avi";
  ::unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  MediaGraph graph;
  EXPECT_EQ(graph.Load(fifo), media::kCannotLoad);
  ::unlink(fifo.c_str());
}

