// The whole program's work on the sample video (samples/panning.avi, 320 x
// 240): one capture with 8 neighbours at each resolution, from the request to
// the picture drawn in the display area (seeking and decoding the nine
// frames, the engine run, the post-filters, the composition and the drawing),
// and one recomposition after a slider is released. The dialog is replaced by
// the recording host of the capture tests; the display area is memory.
#include <benchmark/benchmark.h>

#include <string>

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

// A 720x576 panning video of 24 frames, written once per process.
std::string g_video720;

const std::string& video720()
{
  std::string& path = g_video720;
  if (path.empty()) {
    testvideo::VideoSpec spec;
    spec.scene = testvideo::Scene::Panning;
    spec.width = 720;
    spec.height = 576;
    spec.frames = 24;
    const std::string file = "/tmp/bench_app_720x576_" + std::to_string(getpid()) + ".avi";
    std::string error;
    if (testvideo::canWrite(spec) && testvideo::writeVideo(file, spec, &error)) path = file;
  }
  return path;
}

void BM_Capture720(benchmark::State& state) {
  const std::string& file = video720();
  if (file.empty()) {
    state.SkipWithError("cannot write the 720x576 video");
    return;
  }
  const int noiseReduction = static_cast<int>(state.range(0));
  bool opened = true;
  coldwarm::measure(state, [&] {
    // The program (player, controller) lives for the whole child process:
    // built before its first capture, kept for the second.
    static Program* program = nullptr;
    if (program == nullptr) {
      program = new Program;
      opened = program->OpenAndPause(12, file);
      program->host.options.neighbors = 3;   // "8"
      program->host.options.resolution = 2;  // 2x
      program->host.options.noiseReduction = noiseReduction;
    }
    if (opened) program->controller.OnCaptureEnhance();
  });
  state.SetLabel(noiseReduction == 0 ? "none" : "low");
}
BENCHMARK(BM_Capture720)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_video720.empty()) std::remove(g_video720.c_str());
  return 0;
}
