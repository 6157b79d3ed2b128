#include "tests/platform/media/media_test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/support/stream_copy.h"
#include "tests/support/video_damage.h"

namespace mediatest {

namespace {

struct ScratchDir {
  std::string path;
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "fe_media_test_XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch directory");
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

}  // namespace

const std::string& scratchDir() {
  static ScratchDir dir;
  return dir.path;
}

std::string specName(const testvideo::VideoSpec& s) {
  std::string name = s.container + "_" + s.codec + "_b" + std::to_string(s.bFrames) + "_" +
                     std::to_string(s.width) + "x" + std::to_string(s.height) + "_n" +
                     std::to_string(s.frames) + "_g" + std::to_string(s.gop);
  if (s.scene == testvideo::Scene::Panning) name += "_panning";
  if (s.scene == testvideo::Scene::NoisyNumbered) name += "_noisy";
  if (s.lossless) name += "_lossless";
  if (!s.closedGop) name += "_opengop";
  if (s.fastStart) name += "_faststart";
  for (int frame : s.zeroedFrames) name += "_z" + std::to_string(frame);
  return name;
}

std::string videoFor(const testvideo::VideoSpec& spec) {
  static std::mutex mutex;
  static std::map<std::string, std::string> written;
  std::lock_guard<std::mutex> lock(mutex);
  const std::string name = specName(spec);
  auto it = written.find(name);
  if (it != written.end()) return it->second;
  std::string path;
  if (testvideo::canWrite(spec)) {
    path = scratchDir() + "/" + name + "." + spec.container;
    std::string error;
    if (!testvideo::writeVideo(path, spec, &error)) path.clear();
  }
  written[name] = path;
  return path;
}

std::string videoStartingBeforeAKeyframe(const std::string& container, bool byteCut, int width,
                                         int height) {
  testvideo::VideoSpec spec;
  spec.container = container;
  spec.codec = "libx264";
  spec.width = width;
  spec.height = height;
  spec.frames = 75;
  spec.gop = 24;
  spec.bFrames = 2;
  const std::string whole = videoFor(spec);
  if (whole.empty()) return whole;
  const std::string cut = scratchDir() + "/starting_before_a_keyframe_" + std::to_string(width) + "x" +
                          std::to_string(height) + (byteCut ? "_bytes." : ".") + container;
  std::string error;
  const std::uintmax_t size = std::filesystem::file_size(whole);
  const bool ok = byteCut ? testvideo::copyByteRange(whole, cut, size / 2 / 188 * 188, size, &error)
                          : testvideo::cutByStreamCopy(whole, cut, 1.3, &error);
  if (!ok) ADD_FAILURE() << error;
  return ok ? cut : std::string();
}

FifoFeeder::FifoFeeder(const std::string& video, const std::string& name, std::size_t stallAfter)
    : path_(scratchDir() + "/" + name) {
  signal(SIGPIPE, SIG_IGN);
  ::unlink(path_.c_str());
  if (mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("cannot create a pipe");
  std::ifstream in(video, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const bool stalls = stallAfter < bytes.size();
  if (stalls) bytes.resize(stallAfter);
  writer_ = std::thread([this, stalls, bytes = std::move(bytes)] {
    const int fd = ::open(path_.c_str(), O_WRONLY);
    if (fd < 0) return;
    std::size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    // Closing would tell the reader that the video ended.
    while (stalls && !done_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::close(fd);
  });
}

FifoFeeder::~FifoFeeder() {
  done_ = true;
  // A writer still waiting for a reader, or for room in the pipe, wakes up
  // when a reader comes and goes.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  writer_.join();
  ::unlink(path_.c_str());
}

media::MediaStatus RecordingCallback::BufferCB(double sampleTime, const std::uint8_t* buffer,
                                               long length) {
  const int stride = (width_ * 3 + 3) & ~3;
  const int number = length >= static_cast<long>(stride) * height_
                         ? testvideo::readFrameNumber(buffer, width_, height_, stride)
                         : -2;
  std::uint64_t checksum = 14695981039346656037u;  // FNV-1a
  for (long i = 0; i < length; ++i) checksum = (checksum ^ buffer[i]) * 1099511628211u;
  std::lock_guard<std::mutex> lock(mutex_);
  numbers_.push_back(number);
  times_.push_back(sampleTime);
  checksums_.push_back(checksum);
  last_.assign(buffer, buffer + length);
  lastLength_ = length;
  return media::kOk;
}

std::vector<int> RecordingCallback::numbers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return numbers_;
}
std::vector<double> RecordingCallback::times() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return times_;
}
std::vector<std::uint64_t> RecordingCallback::checksums() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return checksums_;
}
std::vector<std::uint8_t> RecordingCallback::lastBuffer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_;
}
long RecordingCallback::lastLength() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastLength_;
}
void RecordingCallback::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  numbers_.clear();
  times_.clear();
  checksums_.clear();
}

media::MediaStatus HoldingCallback::BufferCB(double sampleTime, const std::uint8_t* buffer,
                                             long length) {
  if (next_) next_->BufferCB(sampleTime, buffer, length);
  std::unique_lock<std::mutex> lock(mutex_);
  const int number = ++arrived_;
  changed_.notify_all();
  changed_.wait_for(lock, std::chrono::seconds(10), [&] { return open_ || released_ >= number; });
  return media::kOk;
}

bool HoldingCallback::waitArrivals(int count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return arrived_ >= count; });
}

void HoldingCallback::release() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++released_;
  changed_.notify_all();
}

void HoldingCallback::releaseAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = true;
  changed_.notify_all();
}

bool Built::build(const std::string& path) {
  if (media::Failed(graph.Load(path)) || media::Failed(graph.Connect()) ||
      media::Failed(graph.GetConnectedMediaType(&format)))
    return false;
  callback = std::make_unique<RecordingCallback>(format.width, format.height);
  graph.SetCallback(callback.get());
  if (media::Failed(graph.Render())) return false;
  graph.SetNotify([this](unsigned message) {
    if (message == 0x8001) ++notifications;
  }, 0x8001);
  graph.SetTimeFormat(media::TimeFormat::Frame);  // refused where the input cannot seek
  return true;
}

int Built::seekPaused(std::int64_t frame) {
  // Paused first: a graph still running would go on past the frame.
  graph.Pause();
  EXPECT_EQ(graph.SetPositions(frame), media::kOk);
  media::GraphState state;
  EXPECT_EQ(graph.GetState(5000, &state), media::kOk);
  EXPECT_EQ(state, media::GraphState::Paused);
  const auto n = callback->numbers();
  return n.empty() ? -3 : n.back();
}

bool Built::waitForEvent(long* code) {
  long p1, p2;
  return graph.GetEvent(code, &p1, &p2, 10000) == media::kOk;
}

bool Built::playToEnd(double rate) {
  graph.SetRate(rate);
  graph.Run();
  long code = 0;
  return waitForEvent(&code) && code == media::kEventComplete;
}

}  // namespace mediatest

#if defined(__SANITIZE_THREAD__)
// FFmpeg's libraries are not built for ThreadSanitizer: the decoder's threads
// hand frames to each other and to the caller through atomics it cannot see,
// so the memory functions those libraries call look unordered to it. What
// they call is left out; the code of these tests and of the media layer stays
// checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libavcodec.so\n"
         "called_from_lib:libavutil.so\n"
         "called_from_lib:libswscale.so\n";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// x265, the HEVC encoder that writes some of the test videos, keeps one
// allocation of its own until the program ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
#endif
