// Helpers shared by the resize tests: images in exact-size heap blocks (so that
// AddressSanitizer sees any read past them), destinations with guard bytes, a
// failing heap for allocation tests and small random generators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/core/memory.h"

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

}  // namespace resize_test
