// Shared helpers of the media tests: a temporary directory that lives for
// the test program, videos generated into it on first use, and a frame
// callback that records what the streaming thread delivered.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/media_graph.h"
#include "tests/support/test_video.h"

namespace mediatest {

// The program's scratch directory (created on first use, removed at exit).
const std::string& scratchDir();

// Path of a video written from `spec` (written once per program run).
// Empty when this FFmpeg build cannot write it.
std::string videoFor(const testvideo::VideoSpec& spec);

// A short readable name for a spec, for test names and file names.
std::string specName(const testvideo::VideoSpec& spec);

// A numbered H.264 video (75 frames, a keyframe every 24, B-frames) cut so
// that it starts before a keyframe: by a stream copy that keeps the frames
// before the first keyframe (cut at 1.3 s), or, given `byteCut`, a
// transport stream cut halfway through its bytes. The frames before the
// first keyframe are listed but never decode. Empty (after a test failure
// where the cut failed) when this FFmpeg build cannot write H.264.
std::string videoStartingBeforeAKeyframe(const std::string& container, bool byteCut, int width,
                                         int height);

// Feeds a video file through a named pipe (an input that cannot seek) from
// a thread of its own, for as long as a reader takes the bytes. Given
// `stallAfter`, it writes only that many bytes and then keeps the pipe open
// without writing more until it is destroyed: a source that stalled.
class FifoFeeder {
 public:
  FifoFeeder(const std::string& video, const std::string& name,
             std::size_t stallAfter = std::numeric_limits<std::size_t>::max());
  ~FifoFeeder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::atomic<bool> done_{false};
  std::thread writer_;
};

class RecordingCallback : public media::FrameCallback {
 public:
  RecordingCallback(int width, int height) : width_(width), height_(height) {}
  media::MediaStatus BufferCB(double sampleTime, const std::uint8_t* buffer, long length) override;

  std::vector<int> numbers() const;  // frame numbers read back, in delivery order
  std::vector<double> times() const;
  // A checksum of each picture's bytes, in delivery order: tells pictures
  // apart whose numbers cannot be read (the decoder's concealed pictures).
  std::vector<std::uint64_t> checksums() const;
  std::vector<std::uint8_t> lastBuffer() const;
  long lastLength() const;
  void clear();

 private:
  int width_, height_;
  mutable std::mutex mutex_;
  std::vector<int> numbers_;
  std::vector<double> times_;
  std::vector<std::uint64_t> checksums_;
  std::vector<std::uint8_t> last_;
  long lastLength_ = 0;
};

// Hands every frame on to another callback and then holds the streaming
// thread inside the callback until the test releases that frame: the test
// can act while a delivery is under way. Every wait gives up after ten
// seconds, so a failing test cannot hang. It must outlive the graph.
class HoldingCallback : public media::FrameCallback {
 public:
  explicit HoldingCallback(media::FrameCallback* next = nullptr) : next_(next) {}
  void forwardTo(media::FrameCallback* next) { next_ = next; }  // before it is installed
  media::MediaStatus BufferCB(double sampleTime, const std::uint8_t* buffer, long length) override;

  // Waits until `count` frames have arrived in all; false when they do not.
  bool waitArrivals(int count);
  void release();     // lets the thread out of the callback once
  void releaseAll();  // and from now on at once

 private:
  media::FrameCallback* next_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int arrived_ = 0, released_ = 0;
  bool open_ = false;
};

// A built graph over one video with a recording callback, counting frames.
struct Built {
  // Declared before the graph: the streaming thread uses them until the
  // graph is destroyed.
  std::unique_ptr<RecordingCallback> callback;
  std::atomic<int> notifications{0};
  media::VideoFormat format;
  media::MediaGraph graph;

  bool build(const std::string& path);

  // Seeks while paused, waits until the pause has completed and returns
  // the number read from the last frame delivered (-3 when none came).
  int seekPaused(std::int64_t frame);

  // Waits for the next event.
  bool waitForEvent(long* code);

  // Plays the video at `rate` times its speed and waits for the next event:
  // true when it says that the video played to its end.
  bool playToEnd(double rate);
};

}  // namespace mediatest
