// The order in which a video's pictures are shown, worked out from the
// headers of its packets in decode order: for containers that keep no
// presentation times (AVI, for one) a picture is named by the packet it was
// decoded from, so a packet that yields no picture leaves a gap in the
// numbering instead of shifting every later picture.
#pragma once

#include <cstdint>
#include <vector>

struct AVCodecParameters;
struct AVCodecParserContext;
struct AVCodecContext;
struct AVPacket;

namespace media {

// How a codec's display order follows from its headers.
enum class PictureOrdering {
  Decode,         // shown in decode order: no picture is held back
  PictureTypes,   // MPEG-4 Part 2, MPEG-1/2: a reference picture is shown
                  // after the B-pictures that follow it in decode order
  OrderCount,     // H.264: by picture order count, which restarts at IDR pictures
  Unknown,        // pictures may be reordered in a way not worked out here
};

// What the headers of one packet tell about its picture.
struct PictureHeader {
  bool known = false;          // a picture header was found and read
  bool bFrame = false;         // a B-picture (picture-types codecs)
  bool keepsLeadingB = false;  // a keyframe whose following B-pictures the decoder keeps
  std::int64_t orderCount = 0;  // the picture order count (H.264)
};

// Reads the picture headers of a video stream's packets, in decode order.
class PictureParser {
 public:
  explicit PictureParser(const AVCodecParameters* par);
  ~PictureParser();
  PictureParser(const PictureParser&) = delete;
  PictureParser& operator=(const PictureParser&) = delete;

  // What the packets read so far allow.
  PictureOrdering ordering() const { return packed_ ? PictureOrdering::Unknown : ordering_; }
  PictureHeader read(const AVPacket* p);

 private:
  PictureOrdering ordering_ = PictureOrdering::Unknown;
  bool packed_ = false;
  int codec_ = 0;
  AVCodecParserContext* parser_ = nullptr;
  AVCodecContext* ctx_ = nullptr;
};

// The display index of every packet, given its header and keyframe flag in
// decode order. Not for PictureOrdering::Unknown.
std::vector<std::int64_t> displayOrder(PictureOrdering ordering,
                                       const std::vector<PictureHeader>& headers,
                                       const std::vector<bool>& keys);

}  // namespace media
