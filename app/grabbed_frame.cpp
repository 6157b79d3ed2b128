#include "app/grabbed_frame.h"

#include <cstring>

GrabbedFrame g_grabbedFrame;
CGrabberCallback g_grabberCallback;

media::MediaStatus CGrabberCallback::BufferCB(double sampleTime, const std::uint8_t* buffer,
                                              long length) {
  if (!buffer) return media::kPointer;
  GrabbedFrame& frame = *target_;
  std::lock_guard<std::mutex> lock(frame.mutex);
  frame.sampleTime = sampleTime;
  Image8uC3& image = frame.image;
  if (!image.data || length <= 0) return media::kOk;
  // Source rows lie width*3 rounded up to 4 bytes apart (a 350-pixel row
  // takes 1052 bytes). Only rows that lie wholly inside the buffer are copied.
  const std::int64_t rowBytes = std::int64_t{image.width} * 3;
  const std::int64_t srcStep = (rowBytes + 3) & ~std::int64_t{3};
  for (std::int64_t y = 0; y < image.height; ++y) {
    if (y * srcStep + rowBytes > length) break;
    std::memcpy(reinterpret_cast<std::uint8_t*>(image.data) + y * image.step,
                buffer + y * srcStep, static_cast<std::size_t>(rowBytes));
  }
  frame.filled = true;
  return media::kOk;
}

void GrabbedFrame::resetFor(int width, int height) {
  std::lock_guard<std::mutex> lock(mutex);
  filled = false;
  sampleTime = 0.0;
  image.reallocate(width, height);
  // Never-filled rows must not pass for a picture.
  for (int y = 0; y < image.height; ++y)
    std::memset(image.row(y), 0, static_cast<std::size_t>(image.width) * 3);
}
