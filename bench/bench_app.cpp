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
#include "tests/app/capture/capture_hosts.h"

namespace {

const std::string kSample = std::string(FE_SOURCE_DIR) + "/samples/panning.avi";

struct Program {
  capture_test::QuietPlayerHost playerHost;
  VideoPlayer player{&playerHost};
  capture_test::RecordingHost host;
  EnhanceController controller{&host, &player};

  bool OpenAndPause(int frame) {
    playerHost.file = kSample;
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

}  // namespace

BENCHMARK_MAIN();
