// Stream copies of test videos written with FFmpeg's libraries.
#pragma once

#include <string>

namespace testvideo {

// Copies every stream of `in` to `out` without decoding, starting at the
// last keyframe of the video at or before `startSeconds`, with all
// timestamps moved so that `startSeconds` becomes 0: the packets before it
// keep negative times, as a stream copy cut at a start time leaves them. MP4
// and MOV then carry an edit list that hides the pictures before the start,
// which the demuxer reads back as packets marked to be discarded. Returns
// false and a reason in `error` on failure.
bool trimByStreamCopy(const std::string& in, const std::string& out, double startSeconds,
                      std::string* error);

}  // namespace testvideo
