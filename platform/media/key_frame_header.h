// Whether a packet that the demuxer flags as a keyframe holds the header of
// one. VP8's and VP9's parsers flag any packet whose first bits are zero as a
// keyframe, so a packet whose bytes were lost (zeroed) reads as one; decoding
// cannot start there.
#pragma once

#include <cstdint>

namespace media {

// False only where the codec's keyframes carry a sync code (VP8, VP9) and no
// keyframe header with that code starts the packet (or, in VP9, one of the
// frames it packs); true for other codecs.
bool keyFrameHeaderIntact(int codecId, const std::uint8_t* data, int size);

}  // namespace media
