// The picture a graph shows: the last frame it presented, kept for a UI
// layer to draw. Written on the streaming thread, read on any other.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace media {

class VideoSurface {
 public:
  // Called on the streaming thread after every new picture; the UI layer
  // uses it to schedule a repaint on its own thread.
  void SetListener(std::function<void()> listener);

  // Copies the last picture: bottom-up BGR24 rows of `Stride()` bytes.
  // Returns false when nothing has been presented yet.
  bool Snapshot(std::vector<std::uint8_t>* pixels, int* width, int* height, int* stride) const;

  // Streaming side.
  void Present(const std::uint8_t* pixels, int width, int height, int stride);
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> pixels_;
  int width_ = 0, height_ = 0, stride_ = 0;
  std::function<void()> listener_;
};

}  // namespace media
