// The whole program's work on the sample video (samples/panning.avi, 320 x
// 240): one capture with 8 neighbours at each resolution, from the request to
// the picture drawn in the display area (seeking and decoding the nine
// frames, the engine run, the post-filters, the composition and the drawing),
// and one recomposition after a slider is released; the first and a later
// capture of a process at 720x576 and 1920x1080 (time, page faults and peak
// resident memory beside the estimate the capture is checked against); the
// memory limits (cgroup v1) from which a first and a later capture at those
// sizes are let through by the memory check, and from which they complete.
// The dialog is replaced by the recording host of the capture tests; the
// display area is memory.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "app/capture_memory.h"
#include "app/enhance_controller.h"
#include "app/video_player.h"
#include "bench/cold_warm.h"
#include "tests/app/capture/capture_hosts.h"
#include "tests/support/memory_group.h"
#include "tests/support/test_video.h"

namespace {

const std::string kSample = std::string(FE_SOURCE_DIR) + "/samples/panning.avi";

struct Program {
  capture_test::QuietPlayerHost playerHost;
  VideoPlayer player{&playerHost};
  capture_test::RecordingHost host;
  EnhanceController controller{&host, &player};

  bool OpenAndPause(int frame, const std::string& file = kSample) {
    playerHost.file = file;
    player.OnOpenVideo();
    if (!player.videoLoaded()) return false;
    if (player.playState() != kPlayRunning) player.OnPlayPause();
    player.OnPlayPause();
    playerHost.frameText = std::to_string(frame);
    player.OnFrameEditChange();
    media::GraphState state;
    player.graph()->GetState(1000, &state);
    return player.playState() == kPlayPaused;
  }
};

void BM_CaptureSample(benchmark::State& state) {
  Program program;
  if (!program.OpenAndPause(12)) {
    state.SkipWithError("cannot open the sample video");
    return;
  }
  program.host.options.neighbors = 3;  // "8"
  program.host.options.resolution = static_cast<int>(state.range(0));
  program.host.options.noiseReduction = 1;
  for (auto _ : state) {
    program.controller.OnCaptureEnhance();
    benchmark::DoNotOptimize(program.controller.result().data);
  }
  state.counters["width"] = program.controller.result().width;
  state.counters["height"] = program.controller.result().height;
}
BENCHMARK(BM_CaptureSample)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SliderRecompose(benchmark::State& state) {
  Program program;
  if (!program.OpenAndPause(12)) {
    state.SkipWithError("cannot open the sample video");
    return;
  }
  program.host.options.neighbors = 3;
  program.host.options.resolution = static_cast<int>(state.range(0));
  program.controller.OnCaptureEnhance();
  int position = 40;
  for (auto _ : state) {
    // Contrast moved and released: new value, one recomposition and drawing.
    position = position == 40 ? 60 : 40;
    program.controller.OnHScroll(5, position, ctl::kContrastSlider);
    program.controller.OnHScroll(8, position, ctl::kContrastSlider);
    benchmark::DoNotOptimize(program.controller.result().data);
  }
}
BENCHMARK(BM_SliderRecompose)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Panning videos of 24 frames, written once by the benchmark program and
// read by the processes it starts for the measurements.
std::vector<std::string> g_videos;

std::string panningVideo(int width, int height)
{
  const std::string file = "/tmp/bench_app_" + std::to_string(width) + "x" + std::to_string(height) + "_" +
                           std::to_string(coldwarm::filesOwner()) + ".avi";
  if (coldwarm::costDescriptor() >= 0) return file;
  if (std::find(g_videos.begin(), g_videos.end(), file) != g_videos.end()) return file;
  testvideo::VideoSpec spec;
  spec.scene = testvideo::Scene::Panning;
  spec.width = width;
  spec.height = height;
  spec.frames = 24;
  std::string error;
  if (!testvideo::canWrite(spec) || !testvideo::writeVideo(file, spec, &error)) return {};
  g_videos.push_back(file);
  return file;
}

// The first and a later capture with 8 neighbours of a panning video: the
// program (player, controller) is built before the first and kept for the
// second (see cold_warm.h).
void captureTwice(benchmark::State& state, const char* name, int width, int height, int resolution,
                  int noiseReduction)
{
  const std::string file = panningVideo(width, height);
  if (file.empty()) {
    state.SkipWithError("cannot write the video");
    return;
  }
  bool opened = true;
  coldwarm::measure(state, name, [&] {
    static Program* program = nullptr;
    if (program == nullptr) {
      program = new Program;
      opened = program->OpenAndPause(12, file);
      program->host.options.neighbors = 3;  // "8"
      program->host.options.resolution = resolution;
      program->host.options.noiseReduction = noiseReduction;
    }
    if (opened) program->controller.OnCaptureEnhance();
  });
  state.counters["estimate_MB"] = static_cast<double>(CapturePeakBytes(width, height, 9, 1.0 + 0.5 * resolution)) / 1e6;
}

// 720x576 at 2x, without and with noise reduction.
void BM_Capture720(benchmark::State& state) {
  const int noiseReduction = static_cast<int>(state.range(0));
  captureTwice(state, "BM_Capture720", 720, 576, 2, noiseReduction);
  state.SetLabel(noiseReduction == 0 ? "none" : "low");
}
BENCHMARK(BM_Capture720)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// 1920x1080 at 2x and 2.5x: grid planes too large for the heap to keep.
void BM_Capture1080(benchmark::State& state) {
  const int resolution = static_cast<int>(state.range(0));
  captureTwice(state, "BM_Capture1080", 1920, 1080, resolution, 0);
  state.SetLabel(resolution == 2 ? "2x" : "2.5x");
}
BENCHMARK(BM_Capture1080)->DenseRange(2, 3)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// ------------------------------------------------ captures under a memory limit

// Names the run of one capture under a limit in a program started by
// BM_CaptureLimit: "<width> <height> <earlier> <later> <check> <limit bytes>
// <video>" (earlier: the resolution of a capture made before the limit is
// set, -1 for none; check 0: the memory check is passed over).
constexpr const char* kLimitRunVariable = "FE_CAPTURE_LIMIT_RUN";

// In the started program: the video paused at frame 20, the earlier capture
// (if any) made without a limit, then the group limited and the measured
// capture made. Writes "refused", "done" or "over" (the group used more
// than the limit before the capture) with what the check saw, and "through"
// when the check let the capture through.
int runLimitedCapture(const char* run)
{
  int width = 0, height = 0, earlier = -1, later = 0, check = 1;
  unsigned long long limit = 0;
  char video[4096] = {};
  if (std::sscanf(run, "%d %d %d %d %d %llu %4095s", &width, &height, &earlier, &later, &check, &limit, video) != 7)
    return 2;
  Program program;
  if (!program.OpenAndPause(20, video)) return 3;
  program.host.options.neighbors = 3;  // "8"
  if (earlier >= 0) {
    program.host.options.resolution = earlier;
    program.controller.OnCaptureEnhance();
    if (!program.host.messages.empty()) return 4;
  }
  program.host.options.resolution = later;
  if (check == 0) program.controller.availableMemoryHook = [] { return std::numeric_limits<std::uint64_t>::max(); };
  const std::uint64_t usage = memgroup::ownGroupUsage();
  if (!memgroup::limitOwnGroup(limit)) {
    std::printf("over\n");
    return 0;
  }
  // Said once the check let the capture through (its first frame stored):
  // the kernel ending the program before then is no fault of the check.
  program.controller.frameStoredHook = [](int slot, std::int64_t) {
    if (slot == 0) {
      std::printf("through\n");
      std::fflush(stdout);
    }
  };
  std::printf("usage %" PRIu64 " available %" PRIu64 " needed %" PRIu64 "\n", usage, AvailableMemoryBytes(),
              CapturePeakBytes(width, height, 9, 1.0 + 0.5 * later));
  std::fflush(stdout);
  program.controller.OnCaptureEnhance();
  std::printf("%s\n", !program.host.messages.empty() ? "refused" : program.controller.result().data ? "done" : "failed");
  return 0;
}

enum class Probe { Over, Refused, Done, Killed, Failed };

// One run of the capture under `limitMiB` in a new group, this program
// started again; the video's pages are dropped from the cache first, so the
// run reads (and its group is charged for) them as a first reading would.
Probe probe(const std::string& video, int width, int height, int earlier, int later, bool check, int limitMiB)
{
  if (const int fd = open(video.c_str(), O_RDONLY); fd >= 0) {
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
  }
  const std::string run = std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(earlier) + " " +
                          std::to_string(later) + " " + (check ? "1 " : "0 ") +
                          std::to_string(static_cast<std::uint64_t>(limitMiB) << 20) + " " + video;
  const memgroup::Outcome o =
      memgroup::runInNewGroup({"/proc/self/exe"}, {std::string(kLimitRunVariable) + "=" + run});
  // A group at its limit before the check ran is ended by whatever the
  // process touches next: the check did not let anything through.
  if (o.killedByTheKernel) return o.output.find("through") != std::string::npos ? Probe::Killed : Probe::Over;
  if (o.exitCode != 0) return Probe::Failed;
  if (o.output.find("over") != std::string::npos) return Probe::Over;
  if (o.output.find("refused") != std::string::npos) return Probe::Refused;
  if (o.output.find("done") != std::string::npos) return Probe::Done;
  return Probe::Failed;
}

// The lowest limit (to 2 MiB) at which `through` holds, by bisection
// between `low` (where it does not) and `high` (where it does); -1 when it
// does not hold at `high`.
template <typename Through>
int lowestLimit(int low, int high, Through through)
{
  if (!through(high)) return -1;
  while (high - low > 2) {
    const int middle = low + (high - low) / 2;
    (through(middle) ? high : low) = middle;
  }
  return high;
}

// A first (earlier -1) or later capture with 8 neighbours at frame 20 of a
// 24-frame panning video under memory limits, each run in a new v1 group:
// the lowest limit the memory check lets it through (check_MiB), the lowest
// at which it completes with the check passed over (fits_MiB), and the runs,
// the check on, over the band around both (1% of fits_MiB apart) that the
// kernel ended for want of memory once the check had let the capture through
// (killed; a check that lets only captures through that complete leaves it
// at 0).
void captureUnderLimits(benchmark::State& state, int width, int height, int earlier, int later)
{
  if (!memgroup::available()) {
    state.SkipWithError("no v1 memory cgroup that this process can make groups in");
    return;
  }
  const std::string video = panningVideo(width, height);
  if (video.empty()) {
    state.SkipWithError("cannot write the video");
    return;
  }
  const double estimateMB = static_cast<double>(CapturePeakBytes(width, height, 9, 1.0 + 0.5 * later)) / 1e6;
  const int high = static_cast<int>(2.0 * estimateMB) + 512;
  int killed = 0, failed = 0;
  int checkMiB = -1, fitsMiB = -1;
  for (auto _ : state) {
    const auto checked = [&](int limit) {
      const Probe p = probe(video, width, height, earlier, later, true, limit);
      killed += p == Probe::Killed;
      failed += p == Probe::Failed;
      return p == Probe::Done || p == Probe::Killed;
    };
    const auto completes = [&](int limit) {
      const Probe p = probe(video, width, height, earlier, later, false, limit);
      failed += p == Probe::Failed;
      return p == Probe::Done;
    };
    checkMiB = lowestLimit(16, high, checked);
    fitsMiB = lowestLimit(16, high, completes);
    if (checkMiB < 0 || fitsMiB < 0) {
      state.SkipWithError("no capture at the highest limit");
      return;
    }
    const int step = std::max(2, fitsMiB / 100);
    for (int limit = std::min(checkMiB, fitsMiB) - 5 * step; limit <= std::max(checkMiB, fitsMiB) + 5 * step;
         limit += step)
      checked(limit);
  }
  state.counters["estimate_MB"] = estimateMB;
  state.counters["check_MiB"] = checkMiB;
  state.counters["fits_MiB"] = fitsMiB;
  state.counters["margin_pct"] = 100.0 * (checkMiB - fitsMiB) / fitsMiB;
  state.counters["killed"] = killed;
  state.counters["failed"] = failed;
}

// Argument 0..4: first capture at 2x and at 2.5x, a later one at 2x and at
// 2.5x after one of its size, and at 2x after one at 2.5x.
struct LimitCase {
  int earlier, later;
  const char* label;
};
constexpr LimitCase kLimitCases[] = {
    {-1, 2, "first 2x"}, {-1, 3, "first 2.5x"}, {2, 2, "2x after 2x"}, {3, 3, "2.5x after 2.5x"}, {3, 2, "2x after 2.5x"}};

void BM_CaptureLimit720(benchmark::State& state) {
  const LimitCase& c = kLimitCases[state.range(0)];
  captureUnderLimits(state, 720, 576, c.earlier, c.later);
  state.SetLabel(c.label);
}
BENCHMARK(BM_CaptureLimit720)->DenseRange(0, 4)->Unit(benchmark::kSecond)->Iterations(1);

void BM_CaptureLimit1080(benchmark::State& state) {
  const LimitCase& c = kLimitCases[state.range(0)];
  captureUnderLimits(state, 1920, 1080, c.earlier, c.later);
  state.SetLabel(c.label);
}
BENCHMARK(BM_CaptureLimit1080)->DenseRange(0, 4)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (const char* run = std::getenv(kLimitRunVariable)) return runLimitedCapture(run);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const std::string& file : g_videos) std::remove(file.c_str());
  return 0;
}
