// Stream copies of test videos written with FFmpeg's libraries.
#pragma once

#include <functional>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace testvideo {

// Sees each packet read from `input` (in its stream's time base, writable)
// before it is written; may change it, or return false to leave it out.
using PacketEdit = std::function<bool(AVFormatContext* input, AVPacket* packet)>;

// Copies every stream of `in` to `out` without decoding, each packet through
// `edit`; `beforeReading`, when given, runs once the output's header is
// written (to seek the input, say). Returns false and a reason in `error` on
// failure.
bool copyStreams(const std::string& in, const std::string& out, const PacketEdit& edit,
                 std::string* error,
                 const std::function<bool(AVFormatContext* input)>& beforeReading = {});

// Copies every stream of `in` to `out` without decoding, starting at the
// last keyframe of the video at or before `startSeconds`, with all
// timestamps moved so that `startSeconds` becomes 0: the packets before it
// keep negative times, as a stream copy cut at a start time leaves them. MP4
// and MOV then carry an edit list that hides the pictures before the start,
// which the demuxer reads back as packets marked to be discarded. Returns
// false and a reason in `error` on failure.
bool trimByStreamCopy(const std::string& in, const std::string& out, double startSeconds,
                      std::string* error);

// Copies every stream of `in` to `out` without decoding, each packet shown at
// or after `startSeconds`, keyframe or not, with all timestamps moved back by
// `startSeconds`: a stream copy cut at a start time that keeps the frames
// before the first keyframe, which never decode.
// Returns false and a reason in `error` on failure.
bool cutByStreamCopy(const std::string& in, const std::string& out, double startSeconds,
                     std::string* error);

// Rewrites an AVI of MPEG-4 Part 2 whose B-frames come one at a time as an
// AVI with packed B-frames, as DivX and Xvid write them: each reference
// picture shares its packet with the B-frame decoded after it, the packet
// after holds only a picture that is not coded, and the stream's headers
// name the packing. Returns false and a reason in `error` on failure.
bool packBFrames(const std::string& in, const std::string& out, std::string* error);

}  // namespace testvideo
