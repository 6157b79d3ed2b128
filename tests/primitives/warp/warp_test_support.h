// Helpers of the warp tests: buffers fenced by inaccessible pages, seeded
// random images and a direct double-precision cubic reference.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "primitives/core/dispatch.h"
#include "primitives/warp/warp_px.h"
#include "primitives/warp/warp_simd.h"

namespace warp_test {

// A block of exactly `bytes` bytes fenced by inaccessible pages. With the end
// fence (the default) its last byte sits just before one, so a read or write
// past its end faults at once, also without the sanitizer; with the front fence
// its first byte follows one, so a read before its start faults.
enum class Fence { End, Front };

class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t bytes, Fence fence = Fence::End) : bytes_(bytes) {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t dataPages = (bytes + page_ - 1) / page_;
        mapped_ = (dataPages + 2) * page_;
        void* m = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<unsigned char*>(m);
        mprotect(base_, page_, PROT_NONE);
        mprotect(base_ + (dataPages + 1) * page_, page_, PROT_NONE);
        data_ = fence == Fence::End ? base_ + (dataPages + 1) * page_ - bytes : base_ + page_;
    }
    ~GuardedBuffer() { munmap(base_, mapped_); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    unsigned char* data() { return data_; }
    std::size_t size() const { return bytes_; }
    template <typename T>
    T* as() {
        return reinterpret_cast<T*>(data_);
    }

private:
    std::size_t bytes_;
    std::size_t page_ = 0;
    std::size_t mapped_ = 0;
    unsigned char* base_ = nullptr;
    unsigned char* data_ = nullptr;
};

inline void fillRandomBytes(unsigned char* p, std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(rng() & 0xFF);
}

// Lagrange weights of nodes -1, 0, 1, 2 at offset t from node 0, in long double.
inline void lagrangeWeights(long double t, long double w[4]) {
    w[0] = -t * (t - 1) * (t - 2) / 6;
    w[1] = (t + 1) * (t - 1) * (t - 2) / 2;
    w[2] = -(t + 1) * t * (t - 2) / 2;
    w[3] = (t + 1) * t * (t - 1) / 6;
}

// Direct cubic of a one-channel float image at (x, y), with the neighbourhood
// shifted inwards at the image edges, computed independently of the warp code.
inline double cubicReference(const float* img, int width, int height, int stride, double x, double y) {
    auto first = [](double v, int size) {
        int n = static_cast<int>(std::floor(v)) - 1;
        if (n < 0) n = 0;
        if (n > size - 4) n = size - 4;
        return n;
    };
    const int x0 = first(x, width), y0 = first(y, height);
    long double wx[4], wy[4];
    lagrangeWeights(static_cast<long double>(x) - (x0 + 1), wx);
    lagrangeWeights(static_cast<long double>(y) - (y0 + 1), wy);
    long double v = 0;
    for (int r = 0; r < 4; ++r)
        for (int j = 0; j < 4; ++j) v += wy[r] * wx[j] * img[(y0 + r) * stride + x0 + j];
    return static_cast<double>(v);
}

// Heap hooks for vpSetHeapHooks that count the live blocks and refuse every
// allocation once `allocationsLeft` is used up.
struct CountingHeap {
    static inline int liveBlocks = 0;
    static inline int allocationsLeft = 1 << 30;
    static void* alloc(std::size_t n) {
        if (allocationsLeft-- <= 0) return nullptr;
        ++liveBlocks;
        return std::malloc(n);
    }
    static void release(void* p) {
        --liveBlocks;
        std::free(p);
    }
};

// Each processor level's core and kernel table, by level.
using WarpCoreFunction = VpStatus (*)(const void*, VpiSize, int, VpiRect, void*, int, VpiRect, int, const double[2][3],
                                      int);
inline WarpCoreFunction coreAt(VpLevel level) {
    switch (level) {
        case vpLevelA6: return WarpAffineCore_a6;
        case vpLevelW7: return WarpAffineCore_w7;
        case vpLevelT7: return WarpAffineCore_t7;
        default: return WarpAffineCore_px;
    }
}

inline const WarpRowKernel* kernelTableAt(VpLevel level) {
    switch (level) {
        case vpLevelA6: return WarpKernelTable_a6;
        case vpLevelW7: return WarpKernelTable_w7;
        case vpLevelT7: return WarpKernelTable_t7;
        default: return WarpKernelTable_px;
    }
}


// ---- images of every depth and layout ----

struct Format {
    int depth;
    int layout;
};

inline void randomSamples(int depth, unsigned char* p, size_t count, std::mt19937& rng) {
    for (size_t i = 0; i < count; ++i) {
        if (depth == kWarpDepth8u) {
            p[i] = static_cast<unsigned char>(rng() & 0xFF);
        } else if (depth == kWarpDepth16u) {
            const Vp16u v = static_cast<Vp16u>(rng() & 0xFFFF);
            std::memcpy(p + 2 * i, &v, 2);
        } else {
            const float v = static_cast<float>(static_cast<int>(rng() % 20001) - 10000) / 97.0f;
            std::memcpy(p + 4 * i, &v, 4);
        }
    }
}

// An image of `channels` separate sample planes, w x h, rows packed.
struct Planes {
    int w, h, e, count;
    std::vector<std::vector<unsigned char>> data;
    Planes(int w_, int h_, int e_, int count_) : w(w_), h(h_), e(e_), count(count_) {
        data.assign(count, std::vector<unsigned char>(static_cast<size_t>(w) * h * e));
    }
    unsigned char* sample(int k, int x, int y) { return &data[k][(static_cast<size_t>(y) * w + x) * e]; }
};

// The warp of a level in one layout, from and into separate planes, through
// fenced buffers with odd row steps.
inline void warpLayout(VpLevel level, Format f, Planes& src, Planes& dst, VpiRect srcRoi, VpiRect dstRoi,
                       const double coeffs[2][3], int interpolation, Fence fence) {
    const int e = src.e;
    const int planes = WarpLayoutPlanes(f.layout);
    const int stride = WarpLayoutStride(f.layout);
    const int buffers = planes ? planes : 1;
    const int perPixel = planes ? 1 : stride;
    const int srcStep = src.w * perPixel * e + 3 * e;
    const int dstStep = dst.w * perPixel * e + 5 * e;
    const size_t srcBytes = static_cast<size_t>(srcStep) * (src.h - 1) + static_cast<size_t>(src.w) * perPixel * e;
    const size_t dstBytes = static_cast<size_t>(dstStep) * (dst.h - 1) + static_cast<size_t>(dst.w) * perPixel * e;
    std::vector<std::unique_ptr<GuardedBuffer>> sb, db;
    for (int b = 0; b < buffers; ++b) {
        sb.push_back(std::make_unique<GuardedBuffer>(srcBytes, fence));
        db.push_back(std::make_unique<GuardedBuffer>(dstBytes, fence));
    }
    auto at = [&](GuardedBuffer& g, int step, int x, int y, int ch) {
        return g.data() + static_cast<size_t>(y) * step + (static_cast<size_t>(x) * perPixel + ch) * e;
    };
    for (int k = 0; k < src.count; ++k) {
        GuardedBuffer& s = *sb[planes ? k : 0];
        GuardedBuffer& d = *db[planes ? k : 0];
        const int ch = planes ? 0 : k;
        for (int y = 0; y < src.h; ++y)
            for (int x = 0; x < src.w; ++x) std::memcpy(at(s, srcStep, x, y, ch), src.sample(k, x, y), e);
        for (int y = 0; y < dst.h; ++y)
            for (int x = 0; x < dst.w; ++x) std::memcpy(at(d, dstStep, x, y, ch), dst.sample(k, x, y), e);
    }
    const void* srcPlanes[4];
    void* dstPlanes[4];
    for (int b = 0; b < buffers; ++b) {
        srcPlanes[b] = sb[b]->data();
        dstPlanes[b] = db[b]->data();
    }
    const void* pSrc = planes ? static_cast<const void*>(srcPlanes) : srcPlanes[0];
    void* pDst = planes ? static_cast<void*>(dstPlanes) : dstPlanes[0];
    const VpStatus status = coreAt(level)(pSrc, {src.w, src.h}, srcStep, srcRoi, pDst, dstStep, dstRoi,
                                              f.depth * 8 + f.layout, coeffs, interpolation);
    ASSERT_EQ(vpStsNoErr, status);
    for (int k = 0; k < dst.count; ++k) {
        GuardedBuffer& d = *db[planes ? k : 0];
        const int ch = planes ? 0 : k;
        for (int y = 0; y < dst.h; ++y)
            for (int x = 0; x < dst.w; ++x) std::memcpy(dst.sample(k, x, y), at(d, dstStep, x, y, ch), e);
    }
}

}  // namespace warp_test
