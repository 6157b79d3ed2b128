// Helpers of the warp tests: buffers fenced by inaccessible pages, seeded
// random images and a direct double-precision cubic reference.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
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


}  // namespace warp_test
