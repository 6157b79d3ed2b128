// Helpers shared by the resize tests: images in exact-size heap blocks (so that
// AddressSanitizer sees any read past them), destinations with guard bytes, a
// failing heap for allocation tests and small random generators.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/core/interpolation.h"
#include "primitives/core/memory.h"
#include "primitives/core/vp_types.h"

namespace resize_test {

// An image of T elements, `channels` per pixel, with a row step in bytes that may
// be padded. The block is exactly (height-1)*step + width*channels*sizeof(T) bytes.
template <class T>
struct Image {
    int width = 0;
    int height = 0;
    int channels = 1;
    int step = 0;  // bytes
    std::vector<unsigned char> bytes;

    Image() = default;
    Image(int w, int h, int c, int padBytes = 0) : width(w), height(h), channels(c) {
        step = w * c * static_cast<int>(sizeof(T)) + padBytes;
        bytes.assign(static_cast<std::size_t>(h - 1) * step + static_cast<std::size_t>(w) * c * sizeof(T), 0);
    }
    T* data() { return reinterpret_cast<T*>(bytes.data()); }
    const T* data() const { return reinterpret_cast<const T*>(bytes.data()); }
    T& at(int x, int y, int c = 0) {
        return *reinterpret_cast<T*>(bytes.data() + static_cast<std::size_t>(y) * step +
                                     (static_cast<std::size_t>(x) * channels + c) * sizeof(T));
    }
    T at(int x, int y, int c = 0) const {
        T v;
        std::memcpy(&v,
                    bytes.data() + static_cast<std::size_t>(y) * step +
                        (static_cast<std::size_t>(x) * channels + c) * sizeof(T),
                    sizeof(T));
        return v;
    }
};

// A destination region of w x h pixels inside a larger block: `guard` guard
// bytes around it and in the padding of every row. intact() tells whether
// anything outside the region (or any pixel element listed as untouchable)
// changed.
template <class T>
struct GuardedDst {
    static constexpr unsigned char kGuard = 0xA5;
    int width;
    int height;
    int channels;
    int step;
    int guard;
    std::vector<unsigned char> block;

    GuardedDst(int w, int h, int c, int guardBytes = 64)
        : width(w), height(h), channels(c), guard(guardBytes) {
        step = w * c * static_cast<int>(sizeof(T)) + guardBytes;
        block.assign(static_cast<std::size_t>(h) * step + 2 * static_cast<std::size_t>(guardBytes), kGuard);
    }
    T* data() { return reinterpret_cast<T*>(block.data() + guard); }
    T at(int x, int y, int c = 0) const {
        T v;
        std::memcpy(&v,
                    block.data() + guard + static_cast<std::size_t>(y) * step +
                        (static_cast<std::size_t>(x) * channels + c) * sizeof(T),
                    sizeof(T));
        return v;
    }
    bool insideRegion(std::size_t offset, int writtenWidth, int writtenHeight, int writtenChannels) const {
        if (offset < static_cast<std::size_t>(guard)) return false;
        const std::size_t rel = offset - guard;
        const std::size_t y = rel / step;
        const std::size_t inRow = rel % step;
        if (y >= static_cast<std::size_t>(writtenHeight)) return false;
        const std::size_t pixelBytes = static_cast<std::size_t>(channels) * sizeof(T);
        if (inRow >= static_cast<std::size_t>(writtenWidth) * pixelBytes) return false;
        const std::size_t element = (inRow % pixelBytes) / sizeof(T);
        return element < static_cast<std::size_t>(writtenChannels);
    }
    // True when no byte outside the first writtenWidth x writtenHeight pixels
    // (elements 0..writtenChannels-1 of each) differs from the guard pattern.
    bool guardsIntact(int writtenWidth, int writtenHeight, int writtenChannels) const {
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (block[i] != kGuard && !insideRegion(i, writtenWidth, writtenHeight, writtenChannels)) return false;
        }
        return true;
    }
    bool untouched() const {
        for (unsigned char b : block) {
            if (b != kGuard) return false;
        }
        return true;
    }
};

// Heap that can fail its n-th request and counts live blocks.
struct FailingHeap {
    static inline int failAt = 0;  // 1-based request to fail; 0 never
    static inline int requests = 0;
    static inline int live = 0;
    static void* alloc(std::size_t bytes) {
        ++requests;
        if (failAt != 0 && requests == failAt) return nullptr;
        void* p = std::malloc(bytes);
        if (p) ++live;
        return p;
    }
    static void release(void* p) {
        if (p) --live;
        std::free(p);
    }
    static void install(int failOn) {
        failAt = failOn;
        requests = 0;
        live = 0;
        vpSetHeapHooks(&alloc, &release);
    }
    static void remove() { vpSetHeapHooks(nullptr, nullptr); }
};

// RAII installation of the failing heap.
struct ScopedFailingHeap {
    explicit ScopedFailingHeap(int failOn) { FailingHeap::install(failOn); }
    ~ScopedFailingHeap() { FailingHeap::remove(); }
    ScopedFailingHeap(const ScopedFailingHeap&) = delete;
    ScopedFailingHeap& operator=(const ScopedFailingHeap&) = delete;
};

template <class T>
void fillRandom(Image<T>& img, std::uint32_t seed, double lo, double hi) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(lo, hi);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            for (int c = 0; c < img.channels; ++c) img.at(x, y, c) = static_cast<T>(dist(rng));
}

// One call of a resize entry for the status tables: a 32f (8u three-channel)
// source of 8 x 6 pixels resized into 16 x 12 unless a field says otherwise.
struct StatusCase {
    const char* name;
    bool nullSrc = false;
    bool nullDst = false;
    VpiSize srcSize{8, 6};
    int srcStep = 32;
    VpiRect roi{0, 0, 8, 6};
    int dstStep = 64;
    VpiSize dstSize{16, 12};
    double xFactor = 2.0;
    double yFactor = 2.0;
    int interpolation = VPI_INTER_CUBIC;
    VpStatus expected = vpStsNoErr;
};

// ---- brute-force area average -------------------------------------------------

inline double readElem(const unsigned char* p, int depth) {
    if (depth == 0) return *p;
    if (depth == 1) {
        Vp16u v;
        std::memcpy(&v, p, 2);
        return v;
    }
    Vp32f v;
    std::memcpy(&v, p, 4);
    return v;
}

inline double overlap(double a0, double a1, double b0, double b1) { return std::max(0.0, std::min(a1, b1) - std::max(a0, b0)); }

// Mean of channel c over the area of destination pixel (i, j): every source pixel
// of the region weighted by the part of it inside the window, the window cut at
// the region's edge.
inline double areaMean(const unsigned char* regionOrigin, int srcStep, int pixelBytes, int depth, int roiW, int roiH,
                double xRatio, double yRatio, int i, int j, int c) {
    const double x0 = j * xRatio, x1 = std::min((j + 1) * xRatio, static_cast<double>(roiW));
    const double y0 = i * yRatio, y1 = std::min((i + 1) * yRatio, static_cast<double>(roiH));
    const int elem = depth == 0 ? 1 : (depth == 1 ? 2 : 4);
    double sum = 0.0, weight = 0.0;
    for (int y = static_cast<int>(y0); y < roiH && y < y1; ++y) {
        const double wy = overlap(y, y + 1, y0, y1);
        for (int x = static_cast<int>(x0); x < roiW && x < x1; ++x) {
            const double w = wy * overlap(x, x + 1, x0, x1);
            if (w <= 0.0) continue;
            sum += w * readElem(regionOrigin + static_cast<std::ptrdiff_t>(y) * srcStep + x * pixelBytes + c * elem,
                                depth);
            weight += w;
        }
    }
    return sum / weight;
}

}  // namespace resize_test
