#include "platform/media/video_surface.h"

#include <cstring>
#include <utility>

namespace media {

void VideoSurface::SetListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(listener);
}

bool VideoSurface::Snapshot(std::vector<std::uint8_t>* pixels, int* width, int* height,
                            int* stride) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pixels_.empty()) return false;
  if (pixels) *pixels = pixels_;
  if (width) *width = width_;
  if (height) *height = height_;
  if (stride) *stride = stride_;
  return true;
}

void VideoSurface::Present(const std::uint8_t* pixels, int width, int height, int stride) {
  std::function<void()> listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pixels || width <= 0 || height <= 0 || stride < width * 3) return;
    pixels_.assign(pixels, pixels + static_cast<std::size_t>(stride) * height);
    width_ = width;
    height_ = height;
    stride_ = stride;
    listener = listener_;
  }
  if (listener) listener();
}

void VideoSurface::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  pixels_.clear();
  pixels_.shrink_to_fit();
  width_ = height_ = stride_ = 0;
}

}  // namespace media
