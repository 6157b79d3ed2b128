// Capture and enhance end to end: a generated video is opened by the real
// player, paused on a frame and captured; a recording host stands in for the
// dialog's controls, display area, clipboard and save dialog.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/capture_memory.h"
#include "app/enhance_controller.h"
#include "app/grabbed_frame.h"
#include "app/video_player.h"
#include "primitives/core/memory.h"
#include "tests/app/capture/capture_hosts.h"
#include "tests/platform/media/media_test_util.h"
#include "tests/primitives/level_harness.h"
#include "tests/support/heap_memory.h"
#include "tests/support/memory_group.h"
#include "tests/support/stream_copy.h"
#include "tests/support/test_video.h"
#include "tests/support/video_damage.h"

namespace {

namespace fs = std::filesystem;
using capture_test::QuietPlayerHost;
using capture_test::RecordingHost;

// ---------------------------------------------------------------- fixture

constexpr int kFrames = 16;
constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Writes the video once per test program, under the temporary folder; it goes
// when the program ends.
std::string VideoOnce(const char* name, const testvideo::VideoSpec& spec) {
  const std::string p = (fs::temp_directory_path() / (std::string(name) + "_" + std::to_string(getpid()) + ".avi")).string();
  std::string error;
  if (!testvideo::writeVideo(p, spec, &error)) ADD_FAILURE() << error;
  static std::vector<std::string> written;
  static const struct Remover {
    ~Remover() {
      for (const std::string& f : written) std::remove(f.c_str());
    }
  } remover;
  written.push_back(p);
  return p;
}

std::string TestVideo() {
  static const std::string path = [] {
    testvideo::VideoSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.frames = kFrames;
    return VideoOnce("capture_test", spec);
  }();
  return path;
}

class CaptureTest : public ::testing::Test {
 protected:
  QuietPlayerHost playerHost;
  VideoPlayer player{&playerHost};
  RecordingHost host;
  EnhanceController controller{&host, &player};
  std::vector<std::int64_t> sought;
  std::vector<int> grabbedNumbers;
  int runs = 0;
  int referenceIndex = -1;
  int accumWidth = 0, accumHeight = 0;

  void SetUp() override {
    playerHost.file = TestVideo();
    controller.frameStoredHook = [this](int, std::int64_t p) {
      sought.push_back(p);
      const Image8uC3& f = g_grabbedFrame.image;
      grabbedNumbers.push_back(testvideo::readFrameNumber(f.data, f.width, f.height, f.step));
    };
    controller.engineRanHook = [this](FrameEnhancer& engine) {
      ++runs;
      referenceIndex = engine.referenceIndex;
      accumWidth = engine.accumY->width;
      accumHeight = engine.accumY->height;
    };
  }
  void TearDown() override { std::remove((TestVideo() + ".out").c_str()); }

  void OpenAndPauseAt(int frame) {
    player.OnOpenVideo();
    ASSERT_TRUE(player.videoLoaded());
    if (player.playState() != kPlayRunning) player.OnPlayPause();
    player.OnPlayPause();
    ASSERT_EQ(player.playState(), kPlayPaused);
    PauseAt(frame);
  }
  // Moves the paused video to `frame` and waits until it is shown.
  void PauseAt(int frame) {
    playerHost.frameText = std::to_string(frame);
    player.OnFrameEditChange();
    media::GraphState state;
    player.graph()->GetState(1000, &state);
  }
  void Capture() {
    sought.clear();
    grabbedNumbers.clear();
    host.progress.clear();
    controller.OnCaptureEnhance();
    // Whichever way a capture ends, its busy mark went with it, and no box
    // waited for the user under the mark.
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.boxesUnderMark, 0);
  }
};

// ---------------------------------------------------------------- tests

struct RunCase {
  int neighbors, resolution;
};

class CaptureRun : public CaptureTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(CaptureRun, SeeksTheRunReportsProgressAndCropsTheBorder) {
  const RunCase rc = GetParam();
  OpenAndPauseAt(7);
  host.options.neighbors = rc.neighbors;
  host.options.resolution = rc.resolution;
  Capture();
  ASSERT_EQ(runs, 1);
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(host.messages.empty());

  const int n = std::vector<int>{1, 3, 5, 9}[rc.neighbors];
  ASSERT_EQ(static_cast<int>(sought.size()), n);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(sought[i], 7 - n / 2 + i);
    EXPECT_EQ(grabbedNumbers[i], 7 - n / 2 + i) << "slot " << i;
  }
  EXPECT_EQ(controller.captureFrames(), n);
  EXPECT_EQ(controller.capturePosition(), 7);
  EXPECT_EQ(referenceIndex, n / 2);

  // 5 before the run, 10 to 90 during it, 95 after it, 0 at the end.
  ASSERT_GE(host.progress.size(), 4u);
  EXPECT_EQ(host.progress.front(), 5);
  EXPECT_EQ(host.progress.back(), 0);
  EXPECT_EQ(host.progress[host.progress.size() - 2], 95);
  for (std::size_t i = 1; i + 2 < host.progress.size(); ++i) {
    EXPECT_GE(host.progress[i], 10);
    EXPECT_LE(host.progress[i], 90);
    if (i > 1) {
      EXPECT_GE(host.progress[i], host.progress[i - 1]);
    }
  }
  EXPECT_EQ(host.progress[host.progress.size() - 3], 90);
  EXPECT_GT(host.pumps, 0);
  EXPECT_FALSE(host.mouseCaptured);
  EXPECT_FALSE(host.locked);

  // Grid of scale x frame, border 3, 4, 6 or 8 off every side.
  const double scale = 1.0 + 0.5 * rc.resolution;
  EXPECT_EQ(accumWidth, static_cast<int>(scale * kWidth));
  EXPECT_EQ(accumHeight, static_cast<int>(scale * kHeight));
  const int border = std::vector<int>{3, 4, 6, 8}[rc.resolution];
  EXPECT_EQ(controller.BorderPixels(), border);
  EXPECT_EQ(controller.result().width, accumWidth - 2 * border);
  EXPECT_EQ(controller.result().height, accumHeight - 2 * border);
  EXPECT_EQ(controller.output().crop.x, border);
  EXPECT_EQ(controller.rawFrame().width, kWidth);

  // Shown at actual size, centred in the larger area with hatched margins.
  EXPECT_EQ(host.options.displayMode, kDisplayActualSize);
  EXPECT_EQ(controller.picture().Width(), static_cast<std::uint32_t>(controller.result().width));
  EXPECT_EQ(controller.offsetX(), (host.areaWidth - controller.result().width) / 2);
  EXPECT_EQ(host.margins.size(), 4u);
  EXPECT_FALSE(host.bars[ctl::kHorizontalScroll].enabled);
}

INSTANTIATE_TEST_SUITE_P(NeighboursByResolution, CaptureRun,
                         ::testing::Values(RunCase{0, 0}, RunCase{0, 1}, RunCase{0, 2}, RunCase{0, 3},
                                           RunCase{1, 0}, RunCase{1, 1}, RunCase{1, 2}, RunCase{1, 3},
                                           RunCase{2, 0}, RunCase{2, 1}, RunCase{2, 2}, RunCase{2, 3},
                                           RunCase{3, 0}, RunCase{3, 1}, RunCase{3, 2}, RunCase{3, 3}),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                           return "n" + std::to_string(info.param.neighbors) + "_r" +
                                  std::to_string(info.param.resolution);
                         });

// One capture per processor level of the primitives (each subsystem at that
// level where its column is complete, px elsewhere): the picture repeats
// exactly and lies as close to the paused frame as px's picture does.
class CaptureAtLevel : public CaptureTest, public ::testing::WithParamInterface<VpLevel> {
 protected:
  // The picture of one capture of five frames at the frame's own size.
  std::vector<std::uint8_t> CapturePicture() {
    OpenAndPauseAt(7);
    host.options.neighbors = 2;
    host.options.resolution = 0;
    Capture();
    const Image8uC3& r = controller.result();
    std::vector<std::uint8_t> v;
    for (int y = 0; y < r.height; ++y) v.insert(v.end(), r.row(y), r.row(y) + r.width * 3);
    return v;
  }
  // The picture's error against the paused frame under it (the picture is
  // the frame's grid less the border): its mean per channel (a uniform cast)
  // and the PSNR of what remains around those means.
  struct ErrorSplit {
    double mean[3], centredPsnr;
  };
  ErrorSplit SplitError(const std::vector<std::uint8_t>& picture) {
    const Image8uC3& raw = controller.rawFrame();
    const int border = controller.BorderPixels();
    const int w = controller.result().width, h = controller.result().height;
    double sum[3] = {}, sq[3] = {};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 3 * w; ++x) {
        const double d = double(picture[static_cast<std::size_t>(y) * 3 * w + x]) - raw.row(y + border)[3 * border + x];
        sum[x % 3] += d;
        sq[x % 3] += d * d;
      }
    const double n = double(w) * h;
    ErrorSplit e{};
    double variance = 0.0;
    for (int c = 0; c < 3; ++c) {
      e.mean[c] = sum[c] / n;
      variance += (sq[c] / n - e.mean[c] * e.mean[c]) / 3.0;
    }
    e.centredPsnr = 10.0 * std::log10(255.0 * 255.0 / variance);
    return e;
  }
};

// The picture repeats exactly at every level. With the colour conversions at
// px it lies within 0.05 dB of px's picture against the frame. The levels'
// own colour conversions round differently from px (by at most 1 per byte,
// but a grey's U of 127 instead of 128 turns into a cast of a few levels
// after the way back): with them the picture keeps within 4 grey levels of
// px's mean per channel and within 0.5 dB about those means.
TEST_P(CaptureAtLevel, PictureRepeatsAndMatchesPxAgainstTheFrame) {
  ErrorSplit px{};
  {
    level_harness::ScopedLevel plain(vpLevelPx);
    px = SplitError(CapturePicture());
  }
  level_harness::ScopedLevel level(GetParam());
  const std::vector<std::uint8_t> first = CapturePicture();
  ASSERT_FALSE(first.empty());
  const ErrorSplit got = SplitError(first);
  EXPECT_EQ(CapturePicture(), first);
  EXPECT_TRUE(host.errors.empty());
  for (int slot : {31, 46}) ASSERT_EQ(FillDispatchSlotsOver(&DispatchTable[slot], 1, vpLevelPx), 1);
  const ErrorSplit pxColour = SplitError(CapturePicture());
  std::printf("against the frame: %s %.4f dB about the mean errors %.3f %.3f %.3f; with px colour %.4f dB; "
              "px %.4f dB about %.3f %.3f %.3f\n",
              level_harness::levelName(GetParam()), got.centredPsnr, got.mean[0], got.mean[1], got.mean[2],
              pxColour.centredPsnr, px.centredPsnr, px.mean[0], px.mean[1], px.mean[2]);
  EXPECT_NEAR(pxColour.centredPsnr, px.centredPsnr, 0.05);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(pxColour.mean[c], px.mean[c], 0.05) << "channel " << c;
  EXPECT_NEAR(got.centredPsnr, px.centredPsnr, 0.5);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(got.mean[c], px.mean[c], 4.0) << "channel " << c;
}

INSTANTIATE_TEST_SUITE_P(Levels, CaptureAtLevel, ::testing::ValuesIn(level_harness::kAllLevels),
                         [](const ::testing::TestParamInfo<VpLevel>& info) {
                           return std::string(level_harness::levelName(info.param));
                         });

TEST_F(CaptureTest, RunsAreMovedInsideTheVideo) {
  OpenAndPauseAt(0);
  host.options.neighbors = 3;  // "8"
  Capture();
  EXPECT_EQ(sought, (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(referenceIndex, 0);  // the chosen frame, not the middle of the run

  playerHost.frameText = std::to_string(kFrames - 1);
  player.OnFrameEditChange();
  host.options.neighbors = 2;  // "4"
  Capture();
  const std::int64_t f = kFrames;
  EXPECT_EQ(sought, (std::vector<std::int64_t>{f - 3, f - 2, f - 1, f - 1, f - 1}));
  EXPECT_EQ(grabbedNumbers, (std::vector<int>{kFrames - 3, kFrames - 2, kFrames - 1, kFrames - 1, kFrames - 1}));
  EXPECT_EQ(referenceIndex, 2);
}

// The drifting textured scene at the test video's size and length.
testvideo::VideoSpec PanningSpec() {
  testvideo::VideoSpec spec;
  spec.scene = testvideo::Scene::Panning;
  spec.width = kWidth;
  spec.height = kHeight;
  spec.frames = kFrames;
  return spec;
}

// A video that opens on two black frames and then cuts to a drifting
// textured scene.
std::string CutVideo() {
  static const std::string path = [] {
    testvideo::VideoSpec spec = PanningSpec();
    spec.blackLeadIn = 2;
    return VideoOnce("capture_cut", spec);
  }();
  return path;
}

// Mean absolute difference between the picture and the frame it was made
// from (1x: picture pixel (x, y) is frame pixel (x + 3, y + 3)), and the
// frame's own mean.
void CompareWithFrame(const Image8uC3& picture, const Image8uC3& frame, double* difference, double* frameMean) {
  double d = 0.0, m = 0.0;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < 3 * picture.width; ++x) {
      const int f = frame.row(y + 3)[9 + x];
      d += std::abs(picture.row(y)[x] - f);
      m += f;
    }
  const double count = 3.0 * picture.width * picture.height;
  *difference = d / count;
  *frameMean = m / count;
}

// Captured on a black frame or on the first frame after the cut, the still
// is the chosen frame: its neighbours across the cut stay out of it, also
// at the very start of the video, where the run takes the frames after the
// chosen one.
TEST_F(CaptureTest, AStillAtACutShowsTheChosenFrame) {
  playerHost.file = CutVideo();
  host.sliders[ctl::kSharpnessSlider] = 0;  // no sharpening: the still compares with the frame
  struct Case {
    int frame, neighbors;
    bool black;
  } cases[] = {{0, 3, true}, {1, 3, true}, {0, 1, true}, {1, 1, true}, {2, 1, false}, {2, 3, false}};
  OpenAndPauseAt(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.frame << " neighbours " << c.neighbors);
    playerHost.frameText = std::to_string(c.frame);
    player.OnFrameEditChange();
    media::GraphState state;
    player.graph()->GetState(1000, &state);
    host.options.neighbors = c.neighbors;
    Capture();
    ASSERT_GE(referenceIndex, 0);
    ASSERT_LT(referenceIndex, static_cast<int>(sought.size()));
    EXPECT_EQ(sought[referenceIndex], c.frame);
    double difference = 0.0, frameMean = 0.0;
    CompareWithFrame(controller.result(), controller.rawFrame(), &difference, &frameMean);
    if (c.black) {
      EXPECT_LT(frameMean, 2.0);
    } else {
      EXPECT_GT(frameMean, 60.0);
    }
    EXPECT_LT(difference, 8.0);
  }
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(host.messages.empty());
}

// A video of two shots of about the same brightness, panning slowly, cut
// between frames kShotCut - 1 and kShotCut. Coded losslessly: a lossy coder
// would give the frame after the cut (a keyframe) other artefacts than its
// neighbours, and the comparison below is finer than that.
constexpr int kShotCut = 12;

std::string TwoShotVideo() {
  static const std::string path = [] {
    testvideo::VideoSpec spec;
    spec.scene = testvideo::Scene::Panning;
    spec.codec = "ffv1";
    spec.lossless = true;
    spec.width = 128;
    spec.height = 96;
    spec.frames = 2 * kShotCut;
    spec.cutAt = kShotCut;
    return VideoOnce("capture_two_shots", spec);
  }();
  return path;
}

// How far a still lies from the single-frame still of its chosen frame (both
// as rows of BGR bytes, `width` pixels a row): the mean absolute difference of
// their bytes, and the share of its pixels whose colour lies more than 10 (in
// some channel) from every colour of the single still within two pixels: a
// colour that the chosen frame does not show there.
struct StillDifference {
  double mean, foreign;
};

StillDifference CompareWithSingle(const std::vector<std::uint8_t>& still, const std::vector<std::uint8_t>& single,
                                  int width) {
  const int height = static_cast<int>(still.size() / 3) / width;
  double sum = 0.0;
  for (std::size_t i = 0; i < still.size(); ++i) sum += std::abs(int(still[i]) - int(single[i]));
  std::size_t foreign = 0;
  auto at = [&](const std::vector<std::uint8_t>& v, int x, int y) { return &v[(std::size_t(y) * width + x) * 3]; };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = at(still, x, y);
      int nearest = 256;
      for (int j = std::max(0, y - 2); j <= std::min(height - 1, y + 2); ++j)
        for (int i = std::max(0, x - 2); i <= std::min(width - 1, x + 2); ++i) {
          const std::uint8_t* q = at(single, i, j);
          nearest = std::min(nearest, std::max({std::abs(p[0] - q[0]), std::abs(p[1] - q[1]), std::abs(p[2] - q[2])}));
        }
      if (nearest > 10) ++foreign;
    }
  return {sum / double(still.size()), double(foreign) / (double(width) * height)};
}

// Captured at 2x on the first frame after the cut or on the last before it,
// with 2, 4 or 8 neighbours, the still keeps the other shot out: it lies no
// further from the chosen frame's single-frame still than a still of the same
// shot with no cut in its window does from its own, and the engine adds the
// neighbours of the chosen frame's shot only. (Measured: at the cut a mean
// difference of 3.1 to 5.3 and 0.1 to 1.4% foreign pixels, away from it 3.9 to
// 6.8 and 0.3 to 2.0%; with the other shot let in, 6.1 to 9.8 and 8 to 38%.)
TEST_F(CaptureTest, AStillNextToACutKeepsTheOtherShotOut) {
  playerHost.file = TwoShotVideo();
  host.sliders[ctl::kSharpnessSlider] = 0;  // no sharpening: the stills compare with the frame's own
  host.options.resolution = 2;
  int added = -1;
  controller.engineRanHook = [&](FrameEnhancer& engine) { added = engine.fieldsAdded; };
  OpenAndPauseAt(0);
  auto still = [&](int frame, int neighbors) {
    playerHost.frameText = std::to_string(frame);
    player.OnFrameEditChange();
    media::GraphState state;
    player.graph()->GetState(1000, &state);
    host.options.neighbors = neighbors;
    Capture();
    const Image8uC3& r = controller.result();
    std::vector<std::uint8_t> v;
    for (int y = 0; y < r.height; ++y) v.insert(v.end(), r.row(y), r.row(y) + r.width * 3);
    return v;
  };
  for (int chosen : {kShotCut, kShotCut - 1})
    for (int neighbors : {1, 2, 3}) {
      const int n = std::vector<int>{0, 2, 4, 8}[neighbors];
      SCOPED_TRACE(testing::Message() << "frame " << chosen << ", " << n << " neighbours");
      const std::vector<std::uint8_t> atCut = still(chosen, neighbors);
      EXPECT_EQ(added, n / 2);
      const int width = controller.result().width;
      const StillDifference cut = CompareWithSingle(atCut, still(chosen, 0), width);
      // The same shot, the window wholly inside it.
      const int away = chosen == kShotCut ? chosen + n / 2 : chosen - n / 2;
      const std::vector<std::uint8_t> clear = still(away, neighbors);
      EXPECT_EQ(added, n);
      const StillDifference reference = CompareWithSingle(clear, still(away, 0), width);
      EXPECT_LT(cut.mean, reference.mean + 0.25);
      EXPECT_LT(cut.foreign, reference.foreign + 0.005);
    }
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(CaptureTest, NothingHappensUnlessAVideoIsPaused) {
  Capture();  // no video
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(host.progress.empty());
  player.OnOpenVideo();
  if (player.playState() != kPlayRunning) player.OnPlayPause();
  ASSERT_EQ(player.playState(), kPlayRunning);
  Capture();  // playing
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(host.progress.empty());
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(CaptureTest, ASecondCaptureCannotStartFromTheProgressPump) {
  OpenAndPauseAt(5);
  int nested = 0;
  host.onPump = [&] {
    if (nested++ == 0) controller.OnCaptureEnhance();
    EXPECT_TRUE(controller.capturing());
    EXPECT_TRUE(host.locked);
  };
  Capture();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(sought.size(), 3u);
  EXPECT_FALSE(controller.capturing());
}

// From the request until the capture ends the pointer shows the busy mark:
// while a step back on its way lands, while the frames are read and while
// the engine runs. A refusal or a failure takes it off for its box.
TEST_F(CaptureTest, TheBusyMarkShowsFromTheRequestUntilTheCaptureEnds) {
  int positionsShown = 0, unmarked = 0;
  playerHost.onPositionShown = [&] {
    ++positionsShown;
    unmarked += !host.busy;
  };
  controller.frameStoredHook = [&](int, std::int64_t p) {
    sought.push_back(p);
    unmarked += !host.busy;
  };
  controller.engineRanHook = [&](FrameEnhancer&) {
    ++runs;
    unmarked += !host.busy;
  };
  const std::string undecodable =
      (fs::temp_directory_path() / ("undecodable_busy_" + std::to_string(getpid()) + ".avi")).string();
  std::string error;
  ASSERT_TRUE(testvideo::writeUndecodableVideo(undecodable, kWidth, kHeight, 8, &error)) << error;
  struct Case {
    const char* what;
    std::function<void()> before;
    std::vector<std::int64_t> sought;
    int positionsShown, runs, boxes;
  } cases[] = {
      {"no step pending", [] {}, {9, 10, 11}, 0, 1, 0},
      {"right after a step back",
       [&] {
         playerHost.frameText = "7";
         player.OnFrameEditChange();  // not waited for
       },
       {6, 7, 8}, 1, 1, 0},
      {"refused for memory", [&] { controller.availableMemoryHook = [] { return std::uint64_t{0}; }; }, {}, 0, 0, 1},
      {"of a frame that cannot be read",
       [&] {
         controller.availableMemoryHook = nullptr;
         playerHost.file = undecodable;
         player.OnOpenVideo();
         if (player.playState() != kPlayRunning) player.OnPlayPause();
         player.OnPlayPause();
       },
       {}, 0, 0, 1},
  };
  OpenAndPauseAt(10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.before();
    ASSERT_EQ(player.playState(), kPlayPaused);
    positionsShown = unmarked = runs = host.busyMarks = 0;
    host.errors.clear();
    host.messages.clear();
    Capture();
    EXPECT_EQ(sought, c.sought);
    EXPECT_EQ(positionsShown, c.positionsShown);
    EXPECT_EQ(runs, c.runs);
    EXPECT_EQ(host.errors.size() + host.messages.size(), static_cast<std::size_t>(c.boxes));
    EXPECT_EQ(host.busyMarks, 1);
    EXPECT_EQ(unmarked, 0);
  }
  player.OnDestroy();
  std::remove(undecodable.c_str());
}

TEST_F(CaptureTest, SlidersRecomposeWithoutANewRun) {
  OpenAndPauseAt(6);
  Capture();
  ASSERT_EQ(runs, 1);
  auto pixels = [&] {
    const Image8uC3& r = controller.result();
    std::vector<std::uint8_t> v;
    for (int y = 0; y < r.height; ++y) v.insert(v.end(), r.row(y), r.row(y) + r.width * 3);
    return v;
  };
  const auto before = pixels();

  // Contrast dragged to 0: 1/3 on tracking, one recomposition on release.
  host.progress.clear();
  controller.OnHScroll(5, 0, ctl::kContrastSlider);
  EXPECT_NEAR(controller.output().contrast, 1.0f / 3.0f, 1e-4);
  EXPECT_EQ(pixels(), before);  // tracking alone does not recompose
  controller.OnHScroll(8, 0, ctl::kContrastSlider);
  EXPECT_EQ(host.progress, (std::vector<int>{50, 0}));
  EXPECT_NE(pixels(), before);
  EXPECT_EQ(runs, 1);

  // The other sliders' ends of range.
  controller.OnHScroll(4, 100, ctl::kBrightnessSlider);
  EXPECT_EQ(controller.output().brightness, 100.0f);
  controller.OnHScroll(5, 0, ctl::kSaturationSlider);
  EXPECT_EQ(controller.output().saturation, 0.0f);
  controller.OnHScroll(5, 100, ctl::kHueSlider);
  EXPECT_NEAR(controller.output().hue, 1.1667f, 1e-4);
  controller.OnHScroll(5, 0, ctl::kHueSlider);
  EXPECT_NEAR(controller.output().hue, 0.75f, 1e-6);
  // Line moves change nothing.
  controller.OnHScroll(0, 3, ctl::kHueSlider);
  EXPECT_NEAR(controller.output().hue, 0.75f, 1e-6);

  // Sharpness: 0 at position 0, 13 at 100, chroma 1.5 times.
  host.sliders[ctl::kSharpnessSlider] = 100;
  controller.OnHScroll(5, 100, ctl::kSharpnessSlider);
  EXPECT_FLOAT_EQ(controller.postFilter(0)->amount, 13.0f);
  EXPECT_FLOAT_EQ(controller.postFilter(1)->amount, 19.5f);
  host.sliders[ctl::kSharpnessSlider] = 0;
  EXPECT_FLOAT_EQ(controller.SharpnessAmount(), 0.0f);

  // Reset: all back, picture as first composed.
  controller.OnResetAdjustments();
  EXPECT_EQ(host.sliders[ctl::kSharpnessSlider], 50);
  EXPECT_EQ(controller.output().contrast, 1.0f);
  EXPECT_FLOAT_EQ(controller.postFilter(0)->amount, 3.0f);
  EXPECT_FLOAT_EQ(controller.postFilter(2)->amount, 4.5f);
  EXPECT_EQ(pixels(), before);
  EXPECT_EQ(runs, 1);

  // Resetting the options leaves the picture alone.
  host.options.neighbors = 3;
  host.options.resolution = 2;
  controller.OnResetOptions();
  EXPECT_EQ(host.options.neighbors, 1);
  EXPECT_EQ(host.options.resolution, 0);
  EXPECT_EQ(host.options.motionSmooth, 2);
  EXPECT_EQ(pixels(), before);
}

// The resolution option chosen after a capture is for the next capture: a
// slider recomposing the kept picture crops it by its own capture's border.
TEST_F(CaptureTest, TheNextCapturesResolutionLeavesThePictureCrop) {
  OpenAndPauseAt(6);
  host.options.resolution = 0;
  Capture();
  ASSERT_EQ(runs, 1);
  const int width = controller.result().width, height = controller.result().height;
  ASSERT_EQ(width, accumWidth - 2 * 3);
  host.options.resolution = 3;
  controller.OnHScroll(5, 60, ctl::kContrastSlider);
  controller.OnHScroll(8, 60, ctl::kContrastSlider);
  EXPECT_EQ(controller.BorderPixels(), 3);
  EXPECT_EQ(controller.output().crop.x, 3);
  EXPECT_EQ(controller.result().width, width);
  EXPECT_EQ(controller.result().height, height);
  // The next capture is cropped by its own resolution.
  Capture();
  ASSERT_EQ(runs, 2);
  EXPECT_EQ(controller.BorderPixels(), 8);
  EXPECT_EQ(controller.result().width, accumWidth - 2 * 8);
}

TEST_F(CaptureTest, PixelRatioSetsThePostFilterScales) {
  OpenAndPauseAt(4);
  struct Case { float ratio; double sx, sy; };
  for (const Case c : {Case{0.9f, 1.0, 1.0 / 0.9f}, Case{1.067f, 1.067f, 1.0}, Case{1.0f, 1.0, 1.0}}) {
    host.options.pixelRatio = c.ratio;
    Capture();
    ASSERT_NE(controller.postFilter(0), nullptr);
    EXPECT_DOUBLE_EQ(controller.postFilter(0)->scaleX, c.sx);
    EXPECT_DOUBLE_EQ(controller.postFilter(0)->scaleY, c.sy);
    EXPECT_EQ(controller.output().pixelRatio, 1.0f);
  }
}

TEST_F(CaptureTest, AllocationFailureKeepsThePreviousPicture) {
  OpenAndPauseAt(8);
  Capture();
  ASSERT_EQ(runs, 1);
  const int w = controller.result().width;
  const std::uint8_t first = controller.result().data[0];

  // Every pixel allocation fails once the frames are stored.
  controller.frameStoredHook = [](int slot, std::int64_t) {
    if (slot == 2) vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, &std::free);
  };
  host.options.resolution = 3;
  Capture();
  vpSetHeapHooks(nullptr, nullptr);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], kOutOfMemoryMessage);
  EXPECT_EQ(controller.result().width, w);
  EXPECT_EQ(controller.result().data[0], first);
  EXPECT_FALSE(controller.capturing());
  EXPECT_FALSE(host.mouseCaptured);
  EXPECT_EQ(host.progress.back(), 0);
  ASSERT_NE(controller.postFilter(0), nullptr);

  // And the program goes on: the next capture works.
  controller.frameStoredHook = nullptr;
  Capture();
  EXPECT_EQ(controller.result().width, static_cast<int>(2.5 * kWidth) - 16);
}

// The previous post-filters are released once the engine has run, before
// the new ones are built: running out of memory there keeps the picture
// shown, which the sliders then leave as it is.
TEST_F(CaptureTest, AFailureWhileBuildingThePostFiltersKeepsThePicture) {
  OpenAndPauseAt(8);
  Capture();
  const int w = controller.result().width;
  const std::vector<std::uint8_t> firstRow(controller.result().data, controller.result().data + w * 3);
  controller.engineRanHook = [](FrameEnhancer&) {
    vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, &std::free);
  };
  Capture();
  vpSetHeapHooks(nullptr, nullptr);
  ASSERT_EQ(host.messages, std::vector<std::string>{kOutOfMemoryMessage});
  EXPECT_EQ(controller.postFilter(0), nullptr);
  controller.OnHScroll(5, 70, ctl::kContrastSlider);
  controller.OnHScroll(8, 70, ctl::kContrastSlider);
  ASSERT_EQ(controller.result().width, w);
  EXPECT_EQ(std::vector<std::uint8_t>(controller.result().data, controller.result().data + w * 3), firstRow);
  EXPECT_TRUE(controller.picture().IsValid());
  EXPECT_FALSE(controller.capturing());

  controller.engineRanHook = nullptr;
  Capture();
  EXPECT_NE(controller.postFilter(0), nullptr);
}

TEST_F(CaptureTest, ARunWithoutResultPlanesDoesNotShowThePreviousPicture) {
  OpenAndPauseAt(8);
  Capture();
  ASSERT_GT(controller.result().width, 0);
  controller.engineRanHook = [](FrameEnhancer& engine) { engine.accumY->release(); };
  Capture();
  EXPECT_EQ(controller.result().width, 0);
  EXPECT_EQ(controller.postFilter(0), nullptr);
  EXPECT_FALSE(controller.picture().IsValid());
  host.clipboardSets = 0;
  controller.OnCopy();
  EXPECT_EQ(host.clipboardSets, 0);
}

// Stands in for the player's frame callback and holds back one frame's
// delivery far longer than a pause normally takes.
class SlowDelivery : public media::FrameCallback {
 public:
  SlowDelivery(int slowFrame, int delayMs) : slowFrame_(slowFrame), delayMs_(delayMs) {}
  media::MediaStatus BufferCB(double sampleTime, const std::uint8_t* buffer, long length) override {
    const int number = testvideo::readFrameNumber(buffer, kWidth, kHeight, (kWidth * 3 + 3) & ~3);
    if (number == slowFrame_ && !delayed_.exchange(true))
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    return g_grabberCallback.BufferCB(sampleTime, buffer, length);
  }
  bool delayed() const { return delayed_; }

 private:
  int slowFrame_, delayMs_;
  std::atomic<bool> delayed_{false};
};

// A frame that arrives late still lands in its own slot: the capture waits
// for the frame it sought, not for a fixed time.
TEST_F(CaptureTest, SlowDeliveryStillFillsEverySlotWithItsFrame) {
  OpenAndPauseAt(7);
  SlowDelivery slow(6, 2500);
  player.graph()->SetCallback(&slow);
  host.options.neighbors = 1;  // frames 6, 7, 8
  Capture();
  EXPECT_TRUE(slow.delayed());
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(sought, (std::vector<std::int64_t>{6, 7, 8}));
  EXPECT_EQ(grabbedNumbers, (std::vector<int>{6, 7, 8}));
  player.OnDestroy();  // no delivery reaches `slow` after this
}

// The number of the frame the player last grabbed.
int GrabbedNumber() {
  std::lock_guard<std::mutex> lock(g_grabbedFrame.mutex);
  const Image8uC3& f = g_grabbedFrame.image;
  return testvideo::readFrameNumber(f.data, f.width, f.height, f.step);
}

// A pipe cannot go back for the frames before the one shown: a capture that
// asks for neighbours says so at once and makes its picture of the shown
// frame alone, the very picture a capture without neighbours makes; the
// neighbour option stays as chosen, for the next video.
TEST_F(CaptureTest, APipeCapturesTheShownFrameAloneAndSaysSo) {
  testvideo::VideoSpec spec;
  spec.container = "mkv";
  spec.codec = "ffv1";
  spec.width = kWidth;
  spec.height = kHeight;
  spec.frames = 150;
  spec.lossless = true;
  const std::string video = mediatest::videoFor(spec);
  ASSERT_FALSE(video.empty());
  mediatest::FifoFeeder feed(video, "capture_pipe.mkv");
  playerHost.file = feed.path();
  player.OnOpenVideo();
  ASSERT_TRUE(player.videoLoaded());
  ASSERT_FALSE(player.seekable());
  ASSERT_EQ(player.playState(), kPlayRunning);
  for (int i = 0; i < 20000 && GrabbedNumber() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  player.OnPlayPause();
  ASSERT_EQ(player.playState(), kPlayPaused);
  media::GraphState state;
  ASSERT_EQ(player.graph()->GetState(5000, &state), media::kOk);
  const int shown = GrabbedNumber();
  ASSERT_GE(shown, 5);

  std::vector<std::uint8_t> alone;  // the picture of the shown frame alone
  int expectedRuns = 0;
  for (int neighbors : {3, 2, 1, 0}) {
    SCOPED_TRACE(testing::Message() << "neighbour option " << neighbors);
    host.options.neighbors = neighbors;
    host.messages.clear();
    Capture();
    EXPECT_EQ(host.messages,
              neighbors > 0 ? std::vector<std::string>{kSingleFrameMessage} : std::vector<std::string>{});
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(runs, ++expectedRuns);
    EXPECT_EQ(controller.captureFrames(), 1);
    EXPECT_EQ(grabbedNumbers, std::vector<int>{shown});
    const Image8uC3& raw = controller.rawFrame();
    EXPECT_EQ(testvideo::readFrameNumber(raw.data, raw.width, raw.height, raw.step), shown);
    EXPECT_EQ(host.options.neighbors, neighbors);
    const Image8uC3& r = controller.result();
    std::vector<std::uint8_t> picture;
    for (int y = 0; y < r.height; ++y) picture.insert(picture.end(), r.row(y), r.row(y) + r.width * 3);
    if (alone.empty()) alone = picture;
    EXPECT_EQ(picture, alone);
  }
  player.OnDestroy();
}

// A video whose frames never decode opens, but a capture of it says that
// the frame cannot be read and keeps the previous picture and raw frame.
TEST_F(CaptureTest, FramesThatNeverDecodeAreNotCaptured) {
  OpenAndPauseAt(5);
  Capture();
  ASSERT_EQ(runs, 1);
  const int width = controller.result().width;
  const std::vector<std::uint8_t> firstRow(controller.result().data, controller.result().data + width * 3);
  const std::uint8_t rawFirst = controller.rawFrame().data[0];

  const std::string path = (fs::temp_directory_path() / ("undecodable_" + std::to_string(getpid()) + ".avi")).string();
  std::string error;
  ASSERT_TRUE(testvideo::writeUndecodableVideo(path, 80, 48, 8, &error)) << error;
  playerHost.file = path;
  player.OnOpenVideo();
  ASSERT_TRUE(player.videoLoaded());
  ASSERT_TRUE(playerHost.errors.empty());
  {
    // The record starts cleared and holds no frame.
    std::lock_guard<std::mutex> lock(g_grabbedFrame.mutex);
    EXPECT_FALSE(g_grabbedFrame.filled);
    ASSERT_EQ(g_grabbedFrame.image.width, 80);
    for (int y = 0; y < g_grabbedFrame.image.height; ++y)
      for (int x = 0; x < 80 * 3; ++x) ASSERT_EQ(g_grabbedFrame.image.row(y)[x], 0) << y << "," << x;
  }
  if (player.playState() != kPlayRunning) player.OnPlayPause();
  player.OnPlayPause();
  ASSERT_EQ(player.playState(), kPlayPaused);
  Capture();
  std::remove(path.c_str());
  EXPECT_EQ(runs, 1);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0].rfind(kFrameUnreadableMessage, 0), 0u) << host.errors[0];
  ASSERT_EQ(controller.result().width, width);
  EXPECT_EQ(std::vector<std::uint8_t>(controller.result().data, controller.result().data + width * 3), firstRow);
  EXPECT_EQ(controller.rawFrame().width, kWidth);
  EXPECT_EQ(controller.rawFrame().data[0], rawFirst);
  EXPECT_FALSE(controller.capturing());
  EXPECT_FALSE(host.mouseCaptured);
  EXPECT_EQ(host.progress.back(), 0);
}

// A panning video of keyframes only whose first and last frames do not
// decode (their packets hold only zero bytes): a seek to the first shows the
// second, a seek to the last shows none.
std::string VideoWithUnreadableEnds() {
  static const std::string path = [] {
    testvideo::VideoSpec video = PanningSpec();
    video.gop = 1;
    video.zeroedFrames = {0, kFrames - 1};
    return VideoOnce("capture_unreadable_ends", video);
  }();
  return path;
}

// A neighbour that cannot be read is left out of the run, as a frame of
// another shot is: the capture goes on without a message, its slot stays
// empty and adds no field, and the chosen frame stays the reference, also
// where the run starts at frame 0.
TEST_F(CaptureTest, AnUnreadableNeighbourIsLeftOutOfTheRun) {
  playerHost.file = VideoWithUnreadableEnds();
  host.options.neighbors = 3;  // "8"
  std::vector<std::int64_t> slots;  // the position stored in each slot, -1 where none was
  int added = -1;
  controller.frameStoredHook = [&](int slot, std::int64_t p) { slots.at(slot) = p; };
  controller.engineRanHook = [&](FrameEnhancer& engine) {
    ++runs;
    referenceIndex = engine.referenceIndex;
    added = engine.fieldsAdded;
  };
  struct Case {
    int frame;
    std::vector<std::int64_t> slots;
    int reference;
  } cases[] = {
      {4, {-1, 1, 2, 3, 4, 5, 6, 7, 8}, 4},
      {1, {-1, 1, 2, 3, 4, 5, 6, 7, 8}, 1},
      {kFrames - 3, {9, 10, 11, 12, 13, 14, -1, -1, -1}, 4},
  };
  OpenAndPauseAt(0);
  int expectedRuns = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.frame);
    PauseAt(c.frame);
    slots.assign(9, -1);
    Capture();
    EXPECT_EQ(runs, ++expectedRuns);
    EXPECT_EQ(slots, c.slots);
    EXPECT_EQ(referenceIndex, c.reference);
    // Every stored neighbour (one shot throughout) adds a field; the empty
    // slots none.
    EXPECT_EQ(added, std::count_if(slots.begin(), slots.end(), [](std::int64_t p) { return p >= 0; }) - 1);
  }
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(host.messages.empty());

  // Typing the last frame, which does not decode, leaves the frame shown
  // before and names it: a capture there is of that frame. The capture
  // went back to its frame, which comes after it has ended.
  ASSERT_EQ(player.graph()->WaitForFrame(kFrames - 3, 5000), media::kOk);
  PauseAt(kFrames - 1);
  std::int64_t shown = -1;
  ASSERT_EQ(player.graph()->GetCurrentPosition(&shown), media::kOk);
  EXPECT_EQ(shown, kFrames - 3);
  slots.assign(9, -1);
  Capture();
  EXPECT_EQ(runs, expectedRuns + 1);
  EXPECT_EQ(slots, cases[2].slots);
  EXPECT_TRUE(host.errors.empty());
}

// A numbered H.264 video cut so that it starts before a keyframe.
std::string VideoStartingBeforeAKeyframe(const std::string& container, bool byteCut) {
  return mediatest::videoStartingBeforeAKeyframe(container, byteCut, kWidth, kHeight);
}

// An 8-neighbour capture at the first frame such a video shows stores that
// frame once, in its own slot: the neighbours before it were never read and
// leave their slots empty, and the frames after it fill theirs.
TEST_F(CaptureTest, NeighboursBeforeTheFirstKeyframeLeaveTheirSlotsEmpty) {
  const struct Shape {
    const char* container;
    bool byteCut;
  } shapes[] = {{"mkv", false}, {"ts", false}, {"ts", true}};
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(testing::Message() << shape.container << (shape.byteCut ? " cut at a byte offset" : " cut at 1.3 s"));
    playerHost.file = VideoStartingBeforeAKeyframe(shape.container, shape.byteCut);
    if (playerHost.file.empty()) GTEST_SKIP() << "this FFmpeg build cannot write H.264";
    OpenAndPauseAt(0);  // shows the first keyframe's frame, and names it
    std::int64_t first = -1;
    ASSERT_EQ(player.graph()->GetCurrentPosition(&first), media::kOk);
    ASSERT_GE(first, 4);  // four listed frames before it
    const int picture = GrabbedNumber();
    ASSERT_GE(picture, 0);

    host.options.neighbors = 3;  // "8"
    std::vector<std::int64_t> slots(9, -1);
    std::vector<int> numbers(9, -1);
    controller.frameStoredHook = [&](int slot, std::int64_t p) {
      slots.at(slot) = p;
      numbers.at(slot) = GrabbedNumber();
    };
    Capture();
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(referenceIndex, 4);
    const std::vector<std::int64_t> expectedSlots = {-1, -1, -1, -1, first, first + 1, first + 2, first + 3, first + 4};
    EXPECT_EQ(slots, expectedSlots);
    const std::vector<int> expectedNumbers = {-1, -1, -1, -1, picture, picture + 1, picture + 2, picture + 3, picture + 4};
    EXPECT_EQ(numbers, expectedNumbers);
  }
}

// Live bytes of the engine's pixel rows, and their peak.
struct PixelHeapMeter {
  static std::map<void*, std::size_t>& blocks() {
    static std::map<void*, std::size_t> b;
    return b;
  }
  static std::size_t& live() {
    static std::size_t n = 0;
    return n;
  }
  static std::size_t& peak() {
    static std::size_t n = 0;
    return n;
  }
  static void* alloc(std::size_t bytes) {
    void* p = std::malloc(bytes);
    if (p) {
      blocks()[p] = bytes;
      live() += bytes;
      peak() = std::max(peak(), live());
    }
    return p;
  }
  static void release(void* p) {
    auto it = blocks().find(p);
    if (it != blocks().end()) {
      live() -= it->second;
      blocks().erase(it);
    }
    std::free(p);
  }
};

// Bytes of the planes of the controller's post-filters.
std::size_t PostFilterBytes(const EnhanceController& c) {
  std::size_t bytes = 0;
  for (int i = 0; i < 3; ++i)
    for (const Image32f* p : {&c.postFilter(i)->base, &c.postFilter(i)->detail, &c.postFilter(i)->detailWeight})
      bytes += static_cast<std::size_t>(p->step) * static_cast<std::size_t>(p->height);
  return bytes;
}

// The estimate a capture is checked against is never below what the
// engine's pixel rows take at their peak, at the smallest and the largest
// settings.
TEST_F(CaptureTest, MemoryEstimateCoversTheMeasuredPeak) {
  OpenAndPauseAt(8);
  for (int neighbors : {0, 3}) {
    for (int resolution : {0, 3}) {
      host.options.neighbors = neighbors;
      host.options.resolution = resolution;
      PixelHeapMeter::blocks().clear();
      PixelHeapMeter::live() = PixelHeapMeter::peak() = 0;
      vpSetHeapHooks(&PixelHeapMeter::alloc, &PixelHeapMeter::release);
      Capture();
      vpSetHeapHooks(nullptr, nullptr);
      const int n = std::vector<int>{1, 3, 5, 9}[neighbors];
      EXPECT_GE(CapturePeakBytes(kWidth, kHeight, n, 1.0 + 0.5 * resolution), PixelHeapMeter::peak())
          << neighbors << " " << resolution;
    }
  }
  // It grows with the grid: 1080p at 2.5x with "2" neighbours needs more
  // than a gigabyte.
  EXPECT_GT(CapturePeakBytes(1920, 1080, 3, 2.5), std::uint64_t{1} << 30);
}

// A capture takes no more memory after an earlier one than as the first of
// the program: the previous capture's post-filters go before the new ones
// are built (the peak of a capture), so beside the new capture stays only
// the picture shown. Twice at one size, and at a larger size after a smaller
// one; each against a first capture of its size and against the estimate.
TEST_F(CaptureTest, ALaterCaptureNeedsNoMoreThanAFirstOne) {
  OpenAndPauseAt(8);
  host.options.neighbors = 3;
  PixelHeapMeter::blocks().clear();
  PixelHeapMeter::live() = 0;
  vpSetHeapHooks(&PixelHeapMeter::alloc, &PixelHeapMeter::release);
  // The most the capture's pixel rows took beyond those live before it.
  auto peakOfCapture = [&](EnhanceController& c, int resolution) {
    host.options.resolution = resolution;
    const std::size_t before = PixelHeapMeter::live();
    PixelHeapMeter::peak() = before;
    c.OnCaptureEnhance();
    return PixelHeapMeter::peak() - before;
  };
  std::map<int, std::size_t> firstPeak;
  for (int resolution : {1, 3}) {
    EnhanceController first{&host, &player};
    firstPeak[resolution] = peakOfCapture(first, resolution);
  }
  struct Pair { int earlier, later; };
  for (const Pair p : {Pair{1, 1}, Pair{3, 3}, Pair{1, 3}}) {
    EnhanceController c{&host, &player};
    peakOfCapture(c, p.earlier);
    ASSERT_NE(c.postFilter(0), nullptr);
    // What the later capture needs beside the picture shown: its own peak,
    // and the earlier post-filters it releases.
    const std::size_t need = PostFilterBytes(c) + peakOfCapture(c, p.later);
    EXPECT_LE(need, firstPeak[p.later]) << p.earlier << " then " << p.later;
    EXPECT_LE(need, CapturePeakBytes(kWidth, kHeight, 9, 1.0 + 0.5 * p.later)) << p.earlier << " then " << p.later;
  }
  vpSetHeapHooks(nullptr, nullptr);
  EXPECT_TRUE(host.messages.empty());
}

// A capture that needs more than the system has is refused with the memory
// message before anything is allocated; the previous picture stays. The
// previous capture's post-filters go before the peak, so the system needs
// to have only the rest.
TEST_F(CaptureTest, CaptureLargerThanTheAvailableMemoryIsRefused) {
  OpenAndPauseAt(8);
  Capture();
  ASSERT_EQ(runs, 1);
  const int w = controller.result().width;
  const std::uint8_t first = controller.result().data[0];

  host.options.resolution = 3;
  host.options.neighbors = 3;
  const std::uint64_t released = PostFilterBytes(controller);
  ASSERT_GT(released, 0u);
  const std::uint64_t needed = CapturePeakBytes(kWidth, kHeight, 9, 2.5) - released;
  controller.availableMemoryHook = [&] { return needed - 1; };
  Capture();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(sought.empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], kOutOfMemoryMessage);
  EXPECT_EQ(controller.result().width, w);
  EXPECT_EQ(controller.result().data[0], first);
  EXPECT_FALSE(controller.capturing());
  EXPECT_FALSE(host.mouseCaptured);
  EXPECT_EQ(host.progress.back(), 0);

  controller.availableMemoryHook = [&] { return needed; };
  Capture();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(host.messages.size(), 1u);
}

// The planes a capture frees stay in the process's heap and serve the next
// capture; where they are needed, the memory check gives their pages back to
// the system (see CaptureFits), so they count as available then.
TEST_F(CaptureTest, PlanesKeptFromTheLastCaptureCountAsAvailable) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' heaps do not report their free memory";
#else
  OpenAndPauseAt(8);
  host.options.resolution = 3;
  host.options.neighbors = 3;
  Capture();
  ASSERT_EQ(runs, 1);
  const auto gridPlaneBytes = static_cast<std::uint64_t>(2.5 * kWidth) * static_cast<std::uint64_t>(2.5 * kHeight) * 4;
  const std::uint64_t kept = testsupport::FreeHeapBytes();
  EXPECT_GE(kept, 4 * gridPlaneBytes);
  EXPECT_GE(AvailableMemoryBytes(), kept);
  // With no room beside them, the check gives the pages the last capture
  // touched back to the system, and a capture of twice a grid plane fits
  // in what that frees.
  const std::uint64_t resident = testsupport::ResidentBytes();
  std::uint64_t givenBack = 0;
  EXPECT_TRUE(CaptureFits(2 * gridPlaneBytes, 0, [&] {
    const std::uint64_t now = testsupport::ResidentBytes();
    givenBack = resident > now ? resident - now : 0;
    return givenBack;
  }));
#endif
}

// Under a memory limit (a container's or a service's), a capture the memory
// check lets through completes: the kernel would end the program, and the
// picture shown with it, for the memory the check promised. Each run is this
// test started anew in a v1 memory group of its own, a 320x240 video paused,
// first or after a capture of its size; the group is then limited to its
// usage plus a share of the capture's estimate, and the capture is made.
// A first capture with less than its estimate to spare is refused, with
// twice its estimate it completes. A later one completes with little to
// spare: the earlier capture's memory, which the group still counts as used
// (the heap keeps it), serves it.
constexpr const char* kLimitedRunVariable = "FE_CAPTURE_TEST_LIMITED_RUN";

TEST_F(CaptureTest, UnderAMemoryLimitACaptureLetThroughCompletes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' memory is not the program's";
#else
  constexpr int kLimitWidth = 320, kLimitHeight = 240;
  const std::uint64_t needed = CapturePeakBytes(kLimitWidth, kLimitHeight, 9, 2.5);
  if (const char* run = std::getenv(kLimitedRunVariable)) {
    // The started program, in its group.
    int earlier = -1;
    double share = 0.0;
    char video[4096] = {};
    ASSERT_EQ(std::sscanf(run, "%d %lf %4095s", &earlier, &share, video), 3);
    playerHost.file = video;
    OpenAndPauseAt(12);
    host.options.neighbors = 3;
    if (earlier >= 0) {
      host.options.resolution = earlier;
      Capture();
      ASSERT_TRUE(host.messages.empty());
    }
    host.options.resolution = 3;
    const auto extra = static_cast<std::uint64_t>(share * static_cast<double>(needed));
    ASSERT_TRUE(memgroup::limitOwnGroup(memgroup::ownGroupUsage() + extra));
    Capture();
    std::printf("capture %s\n", host.messages.empty() ? "done" : "refused");
    return;
  }
  if (!memgroup::available()) GTEST_SKIP() << "no v1 memory cgroup that this process can make groups in";
  static const std::string video = [] {
    testvideo::VideoSpec spec;
    spec.scene = testvideo::Scene::Panning;
    spec.width = kLimitWidth;
    spec.height = kLimitHeight;
    spec.frames = 24;
    return VideoOnce("capture_limit", spec);
  }();
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  struct Run {
    int earlier;
    double share;
    const char* outcome;
  };
  const Run runs[] = {{-1, 0.25, "refused"}, {-1, 0.5, "refused"}, {-1, 0.75, "refused"}, {-1, 2.0, "done"},
                      {3, 0.25, "done"},     {3, 0.5, "done"},     {3, 2.0, "done"}};
  for (const Run& r : runs) {
    const std::string run = std::to_string(r.earlier) + " " + std::to_string(r.share) + " " + video;
    const memgroup::Outcome o =
        memgroup::runInNewGroup({"/proc/self/exe", filter}, {std::string(kLimitedRunVariable) + "=" + run});
    ASSERT_TRUE(o.started);
    EXPECT_FALSE(o.killedByTheKernel) << run << ": peak " << o.maxUsageBytes << " bytes";
    EXPECT_EQ(o.exitCode, 0) << run << "\n" << o.output;
    EXPECT_NE(o.output.find(std::string("capture ") + r.outcome), std::string::npos) << run;
  }
#endif
}

TEST(OutputCrop, NeverNegative) {
  struct Case { int w, h, b; VpiRect want; };
  const Case cases[] = {
      {100, 80, 3, {3, 3, 94, 74}},  {16, 16, 8, {7, 7, 2, 2}}, {6, 3, 3, {2, 1, 2, 1}},
      {1, 1, 8, {0, 0, 1, 1}},       {0, 0, 3, {0, 0, 0, 0}},   {2, 9, 4, {0, 4, 2, 1}},
  };
  for (const Case& c : cases) {
    const VpiRect r = EnhanceController::OutputCrop(c.w, c.h, c.b);
    EXPECT_EQ(r.x, c.want.x) << c.w << "x" << c.h;
    EXPECT_EQ(r.y, c.want.y);
    EXPECT_EQ(r.width, c.want.width);
    EXPECT_EQ(r.height, c.want.height);
  }
}

TEST_F(CaptureTest, DisplayModesScrollingAndFit) {
  OpenAndPauseAt(3);
  host.options.resolution = 3;  // 160 x 120 grid, result 144 x 104
  host.areaWidth = 100;
  host.areaHeight = 80;
  Capture();
  const int w = controller.result().width, h = controller.result().height;
  ASSERT_EQ(w, 144);
  // Larger than the area: bars enabled, view centred.
  EXPECT_TRUE(host.bars[ctl::kHorizontalScroll].enabled);
  EXPECT_EQ(host.bars[ctl::kHorizontalScroll].maximum, w - 100);
  EXPECT_EQ(host.bars[ctl::kHorizontalScroll].position, (w - 100) / 2);
  EXPECT_EQ(controller.offsetX(), (100 - w) / 2);
  EXPECT_TRUE(host.margins.empty());
  // Scrolling: thumb tracking, line moves, start and end of the range.
  controller.OnHScroll(5, 10, ctl::kHorizontalScroll);
  EXPECT_EQ(controller.offsetX(), -10);
  controller.OnHScroll(0, 0, ctl::kHorizontalScroll);
  EXPECT_EQ(controller.offsetX(), -9);
  controller.OnVScroll(7, 0, ctl::kVerticalScroll);
  EXPECT_EQ(controller.offsetY(), -(h - 80));  // the far edge at the area's edge
  EXPECT_EQ(host.bars[ctl::kVerticalScroll].position, h - 80);
  controller.OnVScroll(6, 0, ctl::kVerticalScroll);
  EXPECT_EQ(controller.offsetY(), 0);
  controller.OnVScroll(4, 7, ctl::kVerticalScroll);  // the vertical bar ignores thumb position
  EXPECT_EQ(controller.offsetY(), 0);

  // Fitted: reduced with the smaller factor, centred.
  controller.OnZoomToFit();
  EXPECT_EQ(host.options.displayMode, kDisplayZoomToFit);
  const double z = std::min(100.0 / w, 80.0 / h);
  EXPECT_DOUBLE_EQ(controller.zoom(), z);
  EXPECT_EQ(controller.picture().Width(), static_cast<std::uint32_t>(w * z));
  EXPECT_FALSE(host.bars[ctl::kHorizontalScroll].enabled);

  // Raw frame at actual size: 64 x 48 centred in 100 x 80.
  controller.OnRawFrame();
  EXPECT_EQ(controller.picture().Width(), 64u);
  EXPECT_EQ(controller.offsetX(), 18);
  EXPECT_EQ(controller.offsetY(), 16);
  // The drawn picture is the raw frame, upright: its top-left pixel at the offsets.
  const Image8uC3& raw = controller.rawFrame();
  const std::uint8_t* topLeft = raw.row(raw.height - 1);
  EXPECT_EQ(0, std::memcmp(&host.surface.pixels[(16 * 100 + 18) * 3], topLeft, 3));

  // A small result is enlarged to fit.
  host.areaWidth = 400;
  host.areaHeight = 300;
  controller.OnZoomToFit();
  EXPECT_GT(controller.zoom(), 1.0);
}

// Pictures far thinner than the area are fitted one pixel thin, never zero:
// the view shows them (in their colour) instead of refusing to draw.
TEST_F(CaptureTest, FittedViewKeepsAPixelOfAThinPicture) {
  host.areaWidth = 400;
  host.areaHeight = 200;
  struct Case {
    int w, h, fittedW, fittedH;
  } cases[] = {{16, 4000, 1, 200}, {16384, 16, 400, 1}, {3, 30000, 1, 200}};
  for (const Case& c : cases) {
    Image8uC3 picture;
    picture.allocate(c.w, c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        std::uint8_t* p = picture.row(y) + 3 * x;
        p[0] = 30, p[1] = 140, p[2] = 220;
      }
    int fw = 0, fh = 0;
    controller.SetupScrolling(0, 0);
    const double z = controller.FitZoom(picture, &fw, &fh);
    EXPECT_GT(z, 0.0);
    EXPECT_EQ(fw, c.fittedW) << c.w << "x" << c.h;
    EXPECT_EQ(fh, c.fittedH) << c.w << "x" << c.h;
    controller.SetupScrolling(fw, fh);
    EXPECT_TRUE(controller.DrawPicture(picture, true)) << c.w << "x" << c.h;
    EXPECT_EQ(controller.picture().Width(), static_cast<std::uint32_t>(c.fittedW));
    EXPECT_EQ(controller.picture().Height(), static_cast<std::uint32_t>(c.fittedH));
    // The middle of the drawn picture holds its colour.
    const int x = controller.offsetX() + fw / 2, y = controller.offsetY() + fh / 2;
    const std::uint8_t* shown = &host.surface.pixels[(static_cast<std::size_t>(y) * host.areaWidth + x) * 3];
    EXPECT_EQ(shown[0], 30) << c.w << "x" << c.h;
    EXPECT_EQ(shown[1], 140);
    EXPECT_EQ(shown[2], 220);
  }
  EXPECT_TRUE(host.messages.empty());
}

// ---------------------------------------------------------------- copy and save

class CopySaveTest : public CaptureTest {
 protected:
  void SetUp() override {
    CaptureTest::SetUp();
    OpenAndPauseAt(9);
    host.options.resolution = 2;  // 128 x 96 grid, result 116 x 84
    Capture();
    ASSERT_EQ(controller.result().width, 116);
  }
  // Pixel (x, y) of the result counted from the top-left, blue first.
  const std::uint8_t* ResultAt(int x, int y) {
    const Image8uC3& r = controller.result();
    return r.row(r.height - 1 - y) + 3 * x;
  }
};

TEST_F(CopySaveTest, CopyPutsTheWholeResultOnTheClipboard) {
  controller.OnCopy();
  ASSERT_EQ(host.clipboardSets, 1);
  BITMAPINFOHEADER h;
  ASSERT_GE(host.clipboard.size(), sizeof h);
  std::memcpy(&h, host.clipboard.data(), sizeof h);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 116);
  EXPECT_EQ(h.biHeight, 84);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(host.clipboard.size(), 40u + h.biSizeImage);
  // Stored row 0 of the block is the result's bottom row.
  const std::uint32_t rowBytes = (116 * 3 + 3) & ~3u;
  EXPECT_EQ(0, std::memcmp(host.clipboard.data() + 40, controller.result().row(0), 116 * 3));
  EXPECT_EQ(0, std::memcmp(host.clipboard.data() + 40 + 83 * rowBytes, controller.result().row(83), 116 * 3));
  EXPECT_EQ(host.options.displayMode, kDisplayZoomToFit);  // copying ends fitted
}

TEST_F(CopySaveTest, CropRectangleMapsThroughTheFittedView) {
  // 116 x 84 in 400 x 300: zoom min(3.448, 3.571) = 3.448, fitted 400 x 289,
  // offsets (0, 5).
  controller.OnCropToggle();
  ASSERT_EQ(host.options.displayMode, kDisplayZoomToFit);
  host.options.crop = 1;
  const double z = 400.0 / 116.0;
  const int y0 = (300 - static_cast<int>(84 * z)) / 2;
  // Drag from (300, 200) up and left to (100, 50) inside the area.
  const RasterRect a = host.areaInDialog;
  controller.OnMouseMove(a.left + 300, a.top + 200, true);
  controller.OnMouseMove(a.left + 100, a.top + 50, true);
  ASSERT_EQ(host.outlines.size(), 1u);
  controller.OnMouseMove(a.left + 100, a.top + 50, false);
  // Then the view changes to actual size: copy still maps through the fit.
  controller.OnActualSize();
  controller.OnCopy();
  ASSERT_EQ(host.clipboardSets, 1);
  BITMAPINFOHEADER h;
  std::memcpy(&h, host.clipboard.data(), sizeof h);
  const int left = static_cast<int>(100 / z), right = static_cast<int>(300 / z);
  const int top = static_cast<int>((50 - y0) / z), bottom = static_cast<int>((200 - y0) / z);
  EXPECT_EQ(h.biWidth, right - left);
  EXPECT_EQ(h.biHeight, bottom - top);
  // The block's top row is the result's row `top`, from column `left`.
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(h.biWidth) * 3 + 3) & ~3u;
  EXPECT_EQ(0, std::memcmp(host.clipboard.data() + 40 + (h.biHeight - 1) * rowBytes, ResultAt(left, top), 3));
}

TEST_F(CopySaveTest, EmptyCropLeavesTheClipboardAlone) {
  controller.OnCropToggle();
  host.options.crop = 1;
  const RasterRect a = host.areaInDialog;
  controller.OnMouseMove(a.left + 120, a.top + 40, true);
  controller.OnMouseMove(a.left + 120, a.top + 90, true);  // zero width
  controller.OnCopy();
  EXPECT_EQ(host.clipboardSets, 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], kEmptyCropMessage);
}

// Decoded picture, top row first, red-green-blue.
struct Decoded {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};

Decoded ReadBack(const std::string& path, std::uint32_t type) {
  Decoded d;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return d;
  std::vector<std::uint8_t> bytes;
  for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
  std::fclose(f);
  auto le16 = [&](std::size_t at) { return bytes[at] | (bytes[at + 1] << 8); };
  auto le32 = [&](std::size_t at) { return static_cast<std::uint32_t>(le16(at) | (le16(at + 2) << 16)); };
  if (type == RASTER_TYPE_BMP) {
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M' || le16(28) != 24) return d;
    d.width = static_cast<int>(le32(18));
    d.height = static_cast<int>(le32(22));
    const std::size_t row = (static_cast<std::size_t>(d.width) * 3 + 3) & ~std::size_t{3};
    for (int y = 0; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x) {
        const std::size_t at = le32(10) + (d.height - 1 - y) * row + x * 3;
        d.rgb.insert(d.rgb.end(), {bytes[at + 2], bytes[at + 1], bytes[at]});
      }
  } else if (type == RASTER_TYPE_TGA) {
    if (bytes.size() < 18 || bytes[2] != 2 || bytes[16] != 24) return d;
    d.width = le16(12);
    d.height = le16(14);
    const bool topDown = bytes[17] & 0x20;
    for (int y = 0; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x) {
        const int stored = topDown ? y : d.height - 1 - y;
        const std::size_t at = 18 + bytes[0] + (static_cast<std::size_t>(stored) * d.width + x) * 3;
        d.rgb.insert(d.rgb.end(), {bytes[at + 2], bytes[at + 1], bytes[at]});
      }
  } else if (type == RASTER_TYPE_PNG) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return d;
    image.format = PNG_FORMAT_RGB;
    d.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr)) return Decoded{};
    d.width = static_cast<int>(image.width);
    d.height = static_cast<int>(image.height);
  } else if (type == RASTER_TYPE_JPEG) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    d.width = static_cast<int>(cinfo.output_width);
    d.height = static_cast<int>(cinfo.output_height);
    d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = d.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * d.width * 3;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
  } else if (type == RASTER_TYPE_TIFF) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return d;
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<std::uint32_t> rgba(static_cast<std::size_t>(w) * h);
    if (TIFFReadRGBAImageOriented(tif, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
      d.width = static_cast<int>(w);
      d.height = static_cast<int>(h);
      for (std::uint32_t p : rgba)
        d.rgb.insert(d.rgb.end(), {static_cast<std::uint8_t>(TIFFGetR(p)), static_cast<std::uint8_t>(TIFFGetG(p)),
                                   static_cast<std::uint8_t>(TIFFGetB(p))});
    }
    TIFFClose(tif);
  }
  return d;
}

TEST_F(CopySaveTest, SavesByExtensionAndReadsBack) {
  // 24-bit TIFF files carry JPEG-compressed strips, so they compare like JPEG.
  struct Case { const char* ext; std::uint32_t type; int tolerance; };
  const Case cases[] = {{"bmp", RASTER_TYPE_BMP, 0},   {"jpg", RASTER_TYPE_JPEG, 12}, {"jpeg", RASTER_TYPE_JPEG, 12},
                        {"tif", RASTER_TYPE_TIFF, 12},  {"tiff", RASTER_TYPE_TIFF, 12}, {"tga", RASTER_TYPE_TGA, 0},
                        {"png", RASTER_TYPE_PNG, 0}};
  const std::string base = TestVideo() + ".out";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ext);
    const std::string path = base + "." + c.ext;
    host.savePath = path;
    host.options.displayMode = kDisplayZoomToFit;
    controller.OnSaveAs();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.options.displayMode, kDisplayZoomToFit);
    const Decoded d = ReadBack(path, c.type);
    std::remove(path.c_str());
    ASSERT_EQ(d.width, 116);
    ASSERT_EQ(d.height, 84);
    double sum = 0;
    int worst = 0;
    for (int y = 0; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x)
        for (int k = 0; k < 3; ++k) {
          const int diff = std::abs(d.rgb[(static_cast<std::size_t>(y) * d.width + x) * 3 + k] - ResultAt(x, y)[2 - k]);
          sum += diff;
          worst = std::max(worst, diff);
        }
    if (c.tolerance == 0)
      EXPECT_EQ(worst, 0);
    else
      EXPECT_LT(sum / (d.width * d.height * 3.0), c.tolerance / 4.0);
  }
  EXPECT_EQ(host.lastSaveRequest.defaultExtension, "bmp");
  ASSERT_EQ(host.lastSaveRequest.filters.size(), 6u);
  EXPECT_EQ(host.lastSaveRequest.filters[0].first, "JPEG (*.jpg, *.jpeg)");
  EXPECT_EQ(host.lastSaveRequest.filters[0].second, "*.jpg;*.jpeg");
}

TEST_F(CopySaveTest, RefusedExtensionsAndFailedWrites) {
  const std::string base = TestVideo() + ".out";
  for (const char* ext : {".JPG", ".gif", ""}) {
    const std::string path = base + ext;
    host.messages.clear();
    host.savePath = path;
    host.options.displayMode = kDisplayZoomToFit;
    controller.OnSaveAs();
    ASSERT_EQ(host.messages.size(), 1u) << ext;
    EXPECT_EQ(host.messages[0], "File extension is not supported");
    EXPECT_EQ(host.options.displayMode, kDisplayZoomToFit);  // display unchanged
    EXPECT_FALSE(fs::exists(path));
  }
  // A folder that does not exist: the write fails, the view stays at actual size.
  host.messages.clear();
  host.savePath = base + ".missing/picture.png";
  controller.OnSaveAs();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "Cannot write file");
  EXPECT_EQ(host.options.displayMode, kDisplayActualSize);
  // Cancel does nothing.
  host.messages.clear();
  host.saveChosen = false;
  controller.OnSaveAs();
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(CopySaveTest, EmptyCropLeavesTheChosenFileAlone) {
  // An older picture under the chosen name, which the user agreed to replace.
  const std::string path = TestVideo() + ".older.png";
  {
    std::ofstream older(path, std::ios::binary);
    older << "older picture";
  }
  controller.OnCropToggle();
  host.options.crop = 1;
  const RasterRect a = host.areaInDialog;
  controller.OnMouseMove(a.left + 120, a.top + 40, true);
  controller.OnMouseMove(a.left + 180, a.top + 40, true);  // zero height
  host.savePath = path;
  controller.OnSaveAs();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], kEmptyCropMessage);
  std::ifstream kept(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "older picture");
  std::remove(path.c_str());
}

}  // namespace
