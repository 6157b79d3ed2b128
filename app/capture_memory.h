// How much memory a capture needs at its peak, and how much the system has
// available, so a capture too large for the machine is refused with a message
// before its allocations start (the system would otherwise grant them and
// end the program when they are touched).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Peak bytes of a capture of `frames` frames of width x height enlarged by
// `scale`: per pixel of the output grid (accumulators, weights, warped
// planes, post-filters and the composed picture), per frame pixel and per
// stored frame (the frame store and the registration's pyramids), more of
// both when frames are registered (more than one), and a fixed part for the
// filter bank.
std::uint64_t CapturePeakBytes(int width, int height, int frames, double scale);

// The memory a capture can have now: what the system lets the process have
// (SystemAvailableBytes, files read under `root`) plus the large planes the
// engine keeps (the planes of an earlier capture stay there and serve the
// next one); UINT64_MAX when the system tells nothing. The heap's free bytes
// are not counted: much of them was never touched (the pad the heap grows
// by, the rest of a thread's arena), takes no memory and is already in what
// the system reports; what was touched CaptureFits gives back to the system
// when it is needed.
std::uint64_t AvailableMemoryBytes(const std::string& root = "/");

// What the system reports available (MemAvailable of <root>/proc/meminfo),
// or the allowance of the process's memory cgroup where that is less; the
// files are read under `root` ("/" for the running system). UINT64_MAX when
// neither tells anything.
std::uint64_t SystemAvailableBytes(const std::string& root);

// Whether a capture that needs `needed` bytes at its peak can have them:
// `released` bytes the process holds now are freed before the peak (the
// previous capture's post-filters), and `available` tells the memory the
// process can have beside them (AvailableMemoryBytes). When that is too
// little, the heap's free memory goes back to the system (the pages an
// earlier capture touched, which the system counts as used) and `available`
// is asked again; a capture with room to spare keeps those pages for reuse.
bool CaptureFits(std::uint64_t needed, std::uint64_t released, const std::function<std::uint64_t()>& available);
