// The program-wide record of the last decoded frame, and the frame callback
// that fills it on the media layer's streaming thread.
#pragma once

#include <cstdint>
#include <mutex>

#include "engine/image.h"
#include "platform/media/media_graph.h"

// `image` holds 24-bit pixels in the frame's byte order (blue, green, red);
// its row 0 is the first row the frame buffer delivers, the bottom row of the
// picture. Sized (and cleared) while a graph is built, before the callback is
// installed; `filled` tells whether a frame has been copied in since.
//
// The callback writes the pixels under `mutex`; a reader on the GUI thread
// takes it too, so a frame is never read while one is being copied in.
struct GrabbedFrame {
  double sampleTime = 0.0;
  Image8uC3 image;
  bool filled = false;
  std::mutex mutex;

  // Sizes the image for a new video: rows cleared, no frame yet. Throws
  // MemoryException when the rows cannot be allocated.
  void resetFor(int width, int height);
};

extern GrabbedFrame g_grabbedFrame;

// Copies every delivered frame into a GrabbedFrame record (g_grabbedFrame
// unless told otherwise).
class CGrabberCallback : public media::FrameCallback {
 public:
  explicit CGrabberCallback(GrabbedFrame* target = &g_grabbedFrame) : target_(target) {}
  media::MediaStatus BufferCB(double sampleTime, const std::uint8_t* buffer, long length) override;

 private:
  GrabbedFrame* target_;
};

extern CGrabberCallback g_grabberCallback;
