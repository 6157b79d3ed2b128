#include "platform/media/key_frame_header.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace media {

namespace {

// Reads bits from the most significant one on; zero past the end.
class BitReader {
 public:
  BitReader(const std::uint8_t* data, int size) : data_(data), size_(size) {}
  unsigned read(int bits) {
    unsigned v = 0;
    for (int i = 0; i < bits; ++i, ++pos_) {
      const int byte = pos_ >> 3;
      const unsigned bit = byte < size_ ? (data_[byte] >> (7 - (pos_ & 7))) & 1u : 0u;
      v = (v << 1) | bit;
    }
    return v;
  }

 private:
  const std::uint8_t* data_;
  int size_;
  int pos_ = 0;
};

// A VP8 frame tag whose type bit says keyframe, then the start code.
bool vp8KeyFrame(const std::uint8_t* d, int size) {
  return size >= 10 && (d[0] & 1) == 0 && d[3] == 0x9D && d[4] == 0x01 && d[5] == 0x2A;
}

// A VP9 uncompressed header: the frame marker, the profile, a frame that is
// decoded (not one shown again), of the keyframe type, then the sync code.
bool vp9FrameIsKey(const std::uint8_t* d, int size) {
  BitReader bits(d, size);
  if (bits.read(2) != 2) return false;
  unsigned profile = bits.read(1);
  profile |= bits.read(1) << 1;
  if (profile == 3 && bits.read(1) != 0) return false;
  if (bits.read(1) != 0) return false;  // shows an earlier frame again
  if (bits.read(1) != 0) return false;  // not a keyframe
  bits.read(2);                         // show_frame, error_resilient_mode
  return bits.read(24) == 0x498342;
}

// A VP9 packet may pack several frames (a superframe, its frame sizes listed
// in an index at its end, marked by the same byte on both ends); decoding
// can start at one that holds a keyframe among them.
bool vp9KeyFrame(const std::uint8_t* d, int size) {
  if (size <= 0) return false;
  const std::uint8_t marker = d[size - 1];
  const int frames = (marker & 7) + 1;
  const int bytesPerSize = ((marker >> 3) & 3) + 1;
  const int indexSize = 2 + bytesPerSize * frames;
  if ((marker & 0xE0) != 0xC0 || size < indexSize || d[size - indexSize] != marker)
    return vp9FrameIsKey(d, size);
  const std::uint8_t* sizes = d + size - indexSize + 1;
  std::int64_t offset = 0;
  for (int f = 0; f < frames; ++f) {
    std::int64_t frameSize = 0;  // little-endian
    for (int b = 0; b < bytesPerSize; ++b)
      frameSize |= static_cast<std::int64_t>(sizes[f * bytesPerSize + b]) << (8 * b);
    if (frameSize > size - indexSize - offset) return false;
    if (vp9FrameIsKey(d + offset, static_cast<int>(frameSize))) return true;
    offset += frameSize;
  }
  return false;
}

}  // namespace

bool keyFrameHeaderIntact(int codecId, const std::uint8_t* data, int size) {
  if (codecId == AV_CODEC_ID_VP8) return data && vp8KeyFrame(data, size);
  if (codecId == AV_CODEC_ID_VP9) return data && vp9KeyFrame(data, size);
  return true;
}

}  // namespace media
