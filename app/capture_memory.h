// How much memory a capture needs at its peak, and how much the system has
// available, so a capture too large for the machine is refused with a message
// before its allocations start (the system would otherwise grant them and
// end the program when they are touched).
#pragma once

#include <cstdint>
#include <string>

// Peak bytes of a capture of `frames` frames of width x height enlarged by
// `scale`: per pixel of the output grid (accumulators, weights, warped
// planes, post-filters and the composed picture), per frame pixel and per
// stored frame (the frame store and the registration's pyramids), and a
// fixed part for the filter bank.
std::uint64_t CapturePeakBytes(int width, int height, int frames, double scale);

// The memory a capture can have now: what the system lets the process have
// (SystemAvailableBytes) plus the free memory the process's heap keeps and
// the large planes the engine keeps (the planes of an earlier capture stay
// there and serve the next one); UINT64_MAX when the system tells nothing.
std::uint64_t AvailableMemoryBytes();

// What the system reports available (MemAvailable of <root>/proc/meminfo),
// or the allowance of the process's memory cgroup where that is less; the
// files are read under `root` ("/" for the running system). UINT64_MAX when
// neither tells anything.
std::uint64_t SystemAvailableBytes(const std::string& root);

// Bytes the process's heap holds free for reuse (0 where the C library
// does not tell).
std::uint64_t FreeHeapBytes();
