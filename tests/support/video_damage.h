// Damage done to a written test video as a failing disk or a cut leaves it:
// the container's structure stays, the bytes go.
#pragma once

#include <cstdint>
#include <string>

namespace testvideo {

// Overwrites with zeros, in the file itself, the bytes of the video
// stream's packet `number` (counted from 0 in the order the file holds
// them), or only those from the fraction `from` of its length up to `to`
// (the middle third: 1/3 to 2/3), as a bad sector inside a frame leaves it.
// The container still lists the packet. Returns false and a reason in
// `error` on failure.
bool zeroVideoPacket(const std::string& path, int number, std::string* error, double from = 0.0,
                     double to = 1.0);

// Writes the bytes [from, to) of `in` to `out`, as a cut made with no regard
// for the container leaves them. Returns false and a reason on failure.
bool copyByteRange(const std::string& in, const std::string& out, std::uintmax_t from,
                   std::uintmax_t to, std::string* error);

}  // namespace testvideo
