// The whole program's work on the sample video (samples/panning.avi, 320 x
// 240): one capture with 8 neighbours at each resolution, from the request to
// the picture drawn in the display area (seeking and decoding the nine
// frames, the engine run, the post-filters, the composition and the drawing),
// and one recomposition after a slider is released; the first and a later
// capture of a process at 720x576 and 1920x1080 (time, page faults and peak
// resident memory beside the estimate the capture is checked against). The
// dialog is replaced by the recording host of the capture tests; the display
// area is memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/capture_memory.h"
#include "app/enhance_controller.h"
#include "app/video_player.h"
#include "bench/cold_warm.h"
#include "tests/app/capture/capture_hosts.h"
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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const std::string& file : g_videos) std::remove(file.c_str());
  return 0;
}
