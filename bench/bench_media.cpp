// The media layer on a 720x576 video of 60 frames in two codecs (MPEG-4 Part 2
// in AVI with B-frames, H.264 in MP4 with B-frames): opening a graph, a random
// seek until the frame is delivered, and sequential decoding per frame; and a
// step back just after a keyframe of a 1280x720 H.264 video with long groups
// of pictures in three containers.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/media/media_graph.h"
#include "tests/support/test_video.h"

namespace {

constexpr int kFrames = 60;

struct Videos {
  std::string dir;
  std::string avi, mp4;
  Videos() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "fe_bench_media_XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir = pattern;
    testvideo::VideoSpec spec;
    spec.width = 720;
    spec.height = 576;
    spec.frames = kFrames;
    spec.gop = 12;
    spec.bFrames = 2;
    spec.container = "avi";
    spec.codec = "mpeg4";
    avi = dir + "/bench.avi";
    if (!testvideo::writeVideo(avi, spec, nullptr)) std::abort();
    spec.container = "mp4";
    spec.codec = "libx264";
    mp4 = dir + "/bench.mp4";
    if (!testvideo::writeVideo(mp4, spec, nullptr)) mp4.clear();
  }
  ~Videos() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

const Videos& videos() {
  static Videos v;
  return v;
}

const std::string& videoFor(int which) { return which == 0 ? videos().avi : videos().mp4; }

class CountingCallback : public media::FrameCallback {
 public:
  media::MediaStatus BufferCB(double, const std::uint8_t*, long) override {
    ++frames;
    return media::kOk;
  }
  std::atomic<long> frames{0};
};

bool build(media::MediaGraph& graph, media::FrameCallback* cb, const std::string& path) {
  media::VideoFormat format;
  return !media::Failed(graph.Load(path)) && !media::Failed(graph.Connect()) &&
         !media::Failed(graph.GetConnectedMediaType(&format)) &&
         !media::Failed(graph.SetCallback(cb)) && !media::Failed(graph.Render()) &&
         !media::Failed(graph.SetTimeFormat(media::TimeFormat::Frame));
}

// Builds the graph on the video the benchmark's argument names; marks the
// benchmark skipped and returns false when there is no such video or it
// does not open.
bool openForBenchmark(benchmark::State& state, media::MediaGraph& graph, media::FrameCallback* cb) {
  const std::string& path = videoFor(static_cast<int>(state.range(0)));
  if (path.empty()) {
    state.SkipWithError("no encoder");
    return false;
  }
  if (!build(graph, cb, path)) {
    state.SkipWithError("open failed");
    return false;
  }
  return true;
}

void BM_Open(benchmark::State& state) {
  const std::string& path = videoFor(static_cast<int>(state.range(0)));
  if (path.empty()) {
    state.SkipWithError("no encoder");
    return;
  }
  for (auto _ : state) {
    CountingCallback cb;  // outlives the graph's streaming thread
    media::MediaGraph graph;
    if (!build(graph, &cb, path)) state.SkipWithError("open failed");
  }
}

void BM_RandomSeek(benchmark::State& state) {
  CountingCallback cb;  // outlives the graph's streaming thread
  media::MediaGraph graph;
  if (!openForBenchmark(state, graph, &cb)) return;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> frame(0, kFrames - 1);
  graph.Pause();
  for (auto _ : state) {
    graph.SetPositions(frame(random));
    media::GraphState s;
    graph.GetState(10000, &s);
  }
}

void BM_SequentialDecodePerFrame(benchmark::State& state) {
  CountingCallback cb;  // outlives the graph's streaming thread
  media::MediaGraph graph;
  if (!openForBenchmark(state, graph, &cb)) return;
  graph.SetRate(1e6);  // no pacing: as fast as frames decode
  long delivered = 0;
  for (auto _ : state) {
    graph.Pause();
    graph.SetPositions(0);
    media::GraphState s;
    graph.GetState(10000, &s);
    const long before = cb.frames;
    graph.Run();
    long code = 0, p1, p2;
    while (graph.GetEvent(&code, &p1, &p2, 10000) == media::kOk && code != media::kEventComplete) {
    }
    delivered += cb.frames - before;
  }
  state.SetItemsProcessed(delivered);
}

// A 1280x720 H.264 video with B-frames and a keyframe every 250 frames, in
// the container the argument names (0 MP4, 1 Matroska, 2 MPEG transport
// stream), written on first use.
const std::string& longGopVideo(int container) {
  static const std::string names[3] = {"mp4", "mkv", "ts"};
  static std::string paths[3];
  std::string& path = paths[container];
  if (path.empty()) {
    testvideo::VideoSpec spec;
    spec.width = 1280;
    spec.height = 720;
    spec.frames = 260;
    spec.gop = 250;
    spec.bFrames = 2;
    spec.codec = "libx264";
    spec.container = names[container];
    path = videos().dir + "/long_gop." + spec.container;
    if (!testvideo::writeVideo(path, spec, nullptr)) path = "-";
  }
  return path;
}

// Steps back from frame 256 to 252 and on again to 256, as the arrow keys do
// on a paused video: the step back decodes from the keyframe at 250.
void BM_StepBackAfterKeyframe(benchmark::State& state) {
  const std::string& path = longGopVideo(static_cast<int>(state.range(0)));
  CountingCallback cb;  // outlives the graph's streaming thread
  media::MediaGraph graph;
  if (path == "-" || !build(graph, &cb, path)) {
    state.SkipWithError("no video");
    return;
  }
  graph.Pause();
  media::GraphState s;
  graph.SetPositions(256);
  graph.GetState(60000, &s);
  for (auto _ : state) {
    for (std::int64_t frame : {252, 256}) {
      graph.SetPositions(frame);
      graph.GetState(60000, &s);
    }
  }
}

}  // namespace

// Argument: 0 MPEG-4 in AVI, 1 H.264 in MP4.
BENCHMARK(BM_Open)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomSeek)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SequentialDecodePerFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
// Argument: 0 MP4, 1 Matroska, 2 MPEG transport stream.
BENCHMARK(BM_StepBackAfterKeyframe)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
