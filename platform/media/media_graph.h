// A small media framework over FFmpeg's libraries: a graph that reads one
// video file, decodes its video stream on a streaming thread of its own,
// hands every decoded frame to a callback as bottom-up 24-bit rows in
// blue-green-red order, shows it on a video surface, and reports the end of
// the stream through an event queue and a notification hook.
//
// Building, in order: Load (open the file and index the video packets; an
// input that is not a regular file or a block device, such as a pipe, is read
// through waits that give up after kInputWaitMs without data, and once one
// gave up the input counts as lost),
// Connect (decoder and colour converter), GetConnectedMediaType (frame size),
// SetCallback, Render (start the streaming thread), SetNotify. Control: Run,
// Pause, Stop, StopWhenReady and GetState, which waits for a transition to
// complete: after a seek while paused, "paused" means the frame at the new
// position has already been delivered to the callback. Seeking counts in
// frames once SetTimeFormat(kTimeFormatFrame) was called, else in 100 ns
// units of media time. Frames are counted in display order from the first
// frame the file shows (an edit list may hide the frames before it); where
// the container keeps no presentation times, each picture is named by the
// packet it was decoded from, so a packet that yields no picture leaves a
// gap in the numbering.
//
// Every operation returns a status: 0 success, positive "done with a remark",
// negative failure. The callback and the hook run on the streaming thread;
// everything else is meant for one controlling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/media/video_surface.h"

namespace media {

using MediaStatus = std::int32_t;

constexpr MediaStatus kOk = 0;
constexpr MediaStatus kFalse = 1;                   // done, nothing to do / not the case
constexpr MediaStatus kStateIntermediate = 0x00040237;  // a transition is still under way
constexpr MediaStatus kFail = static_cast<MediaStatus>(0x80004005u);
constexpr MediaStatus kPointer = static_cast<MediaStatus>(0x80004003u);
constexpr MediaStatus kInvalidArg = static_cast<MediaStatus>(0x80070057u);
constexpr MediaStatus kOutOfMemory = static_cast<MediaStatus>(0x8007000Eu);
constexpr MediaStatus kUnexpected = static_cast<MediaStatus>(0x8000FFFFu);
constexpr MediaStatus kNotConnected = static_cast<MediaStatus>(0x80040209u);
constexpr MediaStatus kCannotLoad = static_cast<MediaStatus>(0x80040241u);  // no source for the file
constexpr MediaStatus kNoDecoder = static_cast<MediaStatus>(0x80040217u);   // cannot connect
constexpr MediaStatus kBadFormat = static_cast<MediaStatus>(0x8004022Fu);   // unusable frame format

inline bool Failed(MediaStatus s) { return s < 0; }

// How long a read from a pipe or other stream input waits for data.
constexpr int kInputWaitMs = 5000;

enum class GraphState { Stopped = 0, Paused = 1, Running = 2 };

// Seeking capabilities for CheckCapabilities.
constexpr unsigned kCanSeekAbsolute = 0x1;
constexpr unsigned kCanGetDuration = 0x8;

enum class TimeFormat { MediaTime, Frame };

// Event codes taken with GetEvent.
constexpr long kEventComplete = 1;
// The file can no longer be read (it was cut short or removed while open, or
// a pipe or other stream input stalled or failed before its end): playback
// has stopped, and seeks do nothing from then on.
constexpr long kEventErrorAbort = 3;

// Receives every decoded frame on the streaming thread: `sampleTime` in
// seconds, `buffer` holding the picture's rows from the bottom row up, each
// row width*3 bytes (blue, green, red) padded to a multiple of 4 bytes, and
// `length` the buffer's size in bytes.
class FrameCallback {
 public:
  virtual ~FrameCallback() = default;
  virtual MediaStatus BufferCB(double sampleTime, const std::uint8_t* buffer, long length) = 0;
};

// Posts `message` to the controlling thread; called on the streaming thread
// whenever an event has been queued.
using NotifyHook = std::function<void(unsigned message)>;

struct VideoFormat {
  int width = 0;
  int height = 0;
  double framesPerSecond = 0.0;
};

// Where the decoding for the last seek started, for tests and diagnostics:
// the display index of the keyframe the decoder was started from (-1 before
// any seek started one), and how many packets the decoder has been handed
// since; and how many threads the decoder of that decoding runs on (0
// before Connect; after Connect, those a decoding from the first keyframe
// would run on). With frame threads a frame comes out up to that many
// packets less one after its own. A decoding from a keyframe close to the
// end, and one from a keyframe after which the decoder found damage, runs on
// one thread: pictures after damage are then the same at every decoding.
struct DecodeStart {
  std::int64_t keyFrame = -1;
  std::int64_t packetsDecoded = 0;
  int decoderThreads = 0;
};

class MediaGraph {
 public:
  MediaGraph();
  ~MediaGraph();  // stops the streaming thread and releases everything
  MediaGraph(const MediaGraph&) = delete;
  MediaGraph& operator=(const MediaGraph&) = delete;

  // Building.
  MediaStatus Load(const std::string& path);
  MediaStatus Connect();
  MediaStatus GetConnectedMediaType(VideoFormat* format) const;
  MediaStatus SetCallback(FrameCallback* callback);
  MediaStatus Render();
  MediaStatus SetNotify(NotifyHook hook, unsigned message);
  VideoSurface& Surface();

  // Seeking.
  MediaStatus CheckCapabilities(unsigned capabilities) const;
  MediaStatus SetTimeFormat(TimeFormat format);
  MediaStatus GetDuration(std::int64_t* duration) const;
  // A seek's target from the moment it is asked, then the frame it brought;
  // where it brings none (past the end, or no frame there decodes), the
  // frame still shown.
  MediaStatus GetCurrentPosition(std::int64_t* position) const;
  // Seeks; a seek asked for while an older one still decodes replaces it:
  // that decoding stops at its next packet, and goes on toward the new
  // target when that lies ahead of it after the same keyframe.
  MediaStatus SetPositions(std::int64_t current);
  MediaStatus SetRate(double rate);
  MediaStatus GetRate(double* rate) const;

  // Control.
  MediaStatus Run();
  MediaStatus Pause();
  MediaStatus Stop();
  MediaStatus StopWhenReady();
  MediaStatus GetState(int timeoutMs, GraphState* state);

  // Waits up to timeoutMs until the last seek or pause has completed with a
  // frame handed to the callback. kOk when that frame lies at `position`
  // (in the time format in use); kFalse when another came (the next one that
  // decodes, such as the first keyframe's for a position before it); kFail
  // when none came (the stream ended, could not be read or decoded);
  // kStateIntermediate when the time ran out.
  MediaStatus WaitForFrame(std::int64_t position, int timeoutMs);

  // Where decoding last started; call it once a seek has completed.
  MediaStatus GetDecodeStart(DecodeStart* start) const;

  // Events: the next queued event, or kFail (after waiting up to timeoutMs)
  // when there is none.
  MediaStatus GetEvent(long* code, long* param1, long* param2, int timeoutMs);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace media
