// The media layer on a 720x576 video of 60 frames in two codecs (MPEG-4 Part 2
// in AVI with B-frames, H.264 in MP4 with B-frames): opening a graph, a random
// seek until the frame is delivered, and sequential decoding per frame; a
// step back just after a keyframe of a 1280x720 H.264 video with long groups
// of pictures in three containers; and a step back deep in a group of
// pictures at 720p and 1080p beside FFmpeg's own threaded decode of the same
// frames, and twenty quick steps back there.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

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

// Builds the graph on `path`, written by one of the video makers here
// (empty or "-" when it could not be); marks the benchmark skipped and
// returns false when there is no such video or it does not open.
bool openVideo(benchmark::State& state, media::MediaGraph& graph, media::FrameCallback* cb,
               const std::string& path) {
  if (path.empty() || path == "-") {
    state.SkipWithError("no video (no encoder)");
    return false;
  }
  if (!build(graph, cb, path)) {
    state.SkipWithError("open failed");
    return false;
  }
  return true;
}

// The same on the video the benchmark's argument names.
bool openForBenchmark(benchmark::State& state, media::MediaGraph& graph, media::FrameCallback* cb) {
  return openVideo(state, graph, cb, videoFor(static_cast<int>(state.range(0))));
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
  if (!openVideo(state, graph, &cb, path)) return;
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

// A noisy H.264 video in MP4 (the noisy numbered scene: fresh noise in every
// frame, as in grainy footage) with B-frames, whose only keyframe is its
// first frame, `height` lines high (720 or 1080), written on first use.
constexpr int kDeepFrames = 210;
constexpr int kDeepTarget = 199;  // the step goes back from 200 to it

const std::string& deepGopVideo(int height) {
  static std::string paths[2];
  std::string& path = paths[height == 1080 ? 1 : 0];
  if (path.empty()) {
    testvideo::VideoSpec spec;
    spec.scene = testvideo::Scene::NoisyNumbered;
    spec.width = height * 16 / 9;
    spec.height = height;
    spec.frames = kDeepFrames;
    spec.gop = 250;
    spec.bFrames = 2;
    spec.codec = "libx264";
    spec.container = "mp4";
    path = videos().dir + "/deep_gop_" + std::to_string(height) + ".mp4";
    if (!testvideo::writeVideo(path, spec, nullptr)) path = "-";
  }
  return path;
}

// FFmpeg's own threaded decode: a plain libavcodec loop over a file, with
// as many threads as libavcodec chooses.
class PlainThreadedDecode {
 public:
  explicit PlainThreadedDecode(const std::string& path) {
    if (avformat_open_input(&fc_, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(fc_, nullptr) < 0)
      return;
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(fc_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream_ < 0 || !(dec_ = avcodec_alloc_context3(codec))) return;
    avcodec_parameters_to_context(dec_, fc_->streams[stream_]->codecpar);
    dec_->thread_count = 0;
    if (avcodec_open2(dec_, codec, nullptr) < 0) return;
    // Presentation times in display order.
    while (av_read_frame(fc_, packet_) >= 0) {
      if (packet_->stream_index == stream_) pts_.push_back(packet_->pts);
      av_packet_unref(packet_);
    }
    std::sort(pts_.begin(), pts_.end());
  }
  ~PlainThreadedDecode() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&dec_);
    avformat_close_input(&fc_);
  }
  PlainThreadedDecode(const PlainThreadedDecode&) = delete;
  PlainThreadedDecode& operator=(const PlainThreadedDecode&) = delete;

  // Decodes from the first frame, a keyframe, until frame `display` (in
  // display order) comes out; false when it does not.
  bool decodeTo(int display) {
    if (display < 0 || display >= static_cast<int>(pts_.size())) return false;
    avcodec_flush_buffers(dec_);
    if (av_seek_frame(fc_, stream_, pts_.front(), AVSEEK_FLAG_BACKWARD) < 0) return false;
    bool flushed = false;
    for (;;) {
      const int r = avcodec_receive_frame(dec_, frame_);
      if (r == 0) {
        const bool found = frame_->pts == pts_[display];
        av_frame_unref(frame_);
        if (found) return true;
        continue;
      }
      if (r != AVERROR(EAGAIN) || flushed) return false;
      if (av_read_frame(fc_, packet_) < 0) {
        avcodec_send_packet(dec_, nullptr);
        flushed = true;
        continue;
      }
      if (packet_->stream_index == stream_) avcodec_send_packet(dec_, packet_);
      av_packet_unref(packet_);
    }
  }

 private:
  AVFormatContext* fc_ = nullptr;
  AVCodecContext* dec_ = nullptr;
  AVPacket* packet_ = av_packet_alloc();
  AVFrame* frame_ = av_frame_alloc();
  int stream_ = -1;
  std::vector<std::int64_t> pts_;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The step back from frame 200 to 199 on a paused video, as the down arrow
// does: the graph decodes from the keyframe at frame 0 and delivers 199.
// Each iteration also decodes the same frames with FFmpeg's own threaded
// decode, in turn first and second, so both see the same machine: the
// counters give its time (ffmpeg_ms) and the ratio of the two (ratio).
void BM_StepBackDeepInGop(benchmark::State& state) {
  const std::string& path = deepGopVideo(static_cast<int>(state.range(0)));
  CountingCallback cb;  // outlives the graph's streaming thread
  media::MediaGraph graph;
  if (!openVideo(state, graph, &cb, path)) return;
  PlainThreadedDecode plain(path);
  graph.Pause();
  media::GraphState s;
  double graphSeconds = 0, plainSeconds = 0;
  bool plainFirst = false;
  for (auto _ : state) {
    graph.SetPositions(kDeepTarget + 1);
    graph.GetState(60000, &s);
    double plainTime = 0;
    const auto timePlain = [&] {
      const auto start = std::chrono::steady_clock::now();
      if (!plain.decodeTo(kDeepTarget)) state.SkipWithError("FFmpeg did not decode the frame");
      plainTime = secondsSince(start);
    };
    if (plainFirst) timePlain();
    const auto start = std::chrono::steady_clock::now();
    graph.SetPositions(kDeepTarget);
    if (graph.WaitForFrame(kDeepTarget, 60000) != media::kOk) state.SkipWithError("wrong frame");
    const double graphTime = secondsSince(start);
    if (!plainFirst) timePlain();
    plainFirst = !plainFirst;
    state.SetIterationTime(graphTime);
    graphSeconds += graphTime;
    plainSeconds += plainTime;
  }
  if (plainSeconds > 0) {
    state.counters["ffmpeg_ms"] = 1000 * plainSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = graphSeconds / plainSeconds;
  }
}

// Twenty steps back from frame 200, one every 33 ms as a held down arrow
// sends them, until frame 180 is shown: each step stops the decoding toward
// the one before and goes on from where it got, so the whole takes about one
// decode from the keyframe, not one per step.
void BM_HeldStepsBackDeepInGop(benchmark::State& state) {
  const std::string& path = deepGopVideo(static_cast<int>(state.range(0)));
  CountingCallback cb;  // outlives the graph's streaming thread
  media::MediaGraph graph;
  if (!openVideo(state, graph, &cb, path)) return;
  graph.Pause();
  media::GraphState s;
  for (auto _ : state) {
    state.PauseTiming();
    graph.SetPositions(kDeepTarget + 1);
    graph.GetState(60000, &s);
    state.ResumeTiming();
    for (int step = 1; step <= 20; ++step) {
      graph.SetPositions(kDeepTarget + 1 - step);
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
    if (graph.WaitForFrame(kDeepTarget - 19, 60000) != media::kOk) state.SkipWithError("wrong frame");
  }
}

}  // namespace

// Argument: 0 MPEG-4 in AVI, 1 H.264 in MP4.
BENCHMARK(BM_Open)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomSeek)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SequentialDecodePerFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
// Argument: 0 MP4, 1 Matroska, 2 MPEG transport stream.
BENCHMARK(BM_StepBackAfterKeyframe)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
// Argument: the video's height.
BENCHMARK(BM_StepBackDeepInGop)->Arg(720)->Arg(1080)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);
BENCHMARK(BM_HeldStepsBackDeepInGop)->Arg(720)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
