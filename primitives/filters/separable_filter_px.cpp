// Row and column convolution of float images, plain level. Every output is
// summed in double precision from its products in window order, starting
// from 0.0, and rounded to float once, at the store.
#include <algorithm>
#include <cstddef>

#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"

namespace {

// Source pixels are widened to double once and kept in a stack buffer of at
// most this many doubles; kernels longer than kMaxTaps take the plain loop.
constexpr int kWideBudget = 8192;
constexpr int kMaxTaps = 64;
// Outputs summed side by side in registers: enough independent sums to keep
// the adders busy, few enough to stay in the 16 vector registers.
constexpr int kGroup = 14;

inline const Vp8u* bytesAt(const void* p) { return static_cast<const Vp8u*>(p); }
inline Vp32f* rowAt(Vp32f* base, int step, int y) {
    return reinterpret_cast<Vp32f*>(reinterpret_cast<Vp8u*>(base) + static_cast<std::ptrdiff_t>(y) * step);
}

inline void widen(const Vp32f* __restrict src, double* __restrict dst, int count) {
    for (int i = 0; i < count; ++i) dst[i] = static_cast<double>(src[i]);
}

// dst[x] = ((0.0 + t[0] * r[0][x]) + t[1] * r[1][x]) + ... + t[n-1] * r[n-1][x],
// rounded to float, for x in [0, count). r[j] is the widened source of
// product j of every output (a shifted copy of one row for the row filter,
// one source row each for the column filter); t[j] = k[n-1-j].
//
// The engine's tap counts: the taps unrolled, the loop over outputs
// vectorised, each output's sum kept in one register lane.
template <int kTaps>
void sumProductsFixed(const double* const* rows, const double* taps, Vp32f* __restrict dst, int count) {
    const double* r[kTaps];
    double t[kTaps];
    for (int j = 0; j < kTaps; ++j) {
        r[j] = rows[j];
        t[j] = taps[j];
    }
    for (int x = 0; x < count; ++x) {
        double acc = 0.0;
#pragma GCC unroll 32
        for (int j = 0; j < kTaps; ++j) acc += t[j] * r[j][x];
        dst[x] = static_cast<Vp32f>(acc);
    }
}

// Any other tap count: a group of outputs summed side by side in registers,
// the taps in a loop. That loop must not be vectorised (it would interleave
// two taps of one output); the unrolled group is vectorised across outputs.
__attribute__((optimize("no-tree-loop-vectorize"))) void sumProductsAny(const double* const* rows,
                                                                        const double* taps, int n,
                                                                        Vp32f* __restrict dst, int count) {
    int x = 0;
    for (; x + kGroup <= count; x += kGroup) {
        double acc[kGroup];
#pragma GCC unroll 16
        for (int i = 0; i < kGroup; ++i) acc[i] = 0.0;
        for (int j = 0; j < n; ++j) {
            const double t = taps[j];
            const double* __restrict r = rows[j] + x;
#pragma GCC unroll 16
            for (int i = 0; i < kGroup; ++i) acc[i] += t * r[i];
        }
#pragma GCC unroll 16
        for (int i = 0; i < kGroup; ++i) dst[x + i] = static_cast<Vp32f>(acc[i]);
    }
    for (; x < count; ++x) {
        double acc = 0.0;
        for (int j = 0; j < n; ++j) acc += taps[j] * rows[j][x];
        dst[x] = static_cast<Vp32f>(acc);
    }
}

void sumProducts(const double* const* rows, const double* taps, int n, Vp32f* dst, int count) {
    switch (n) {
        case 3: sumProductsFixed<3>(rows, taps, dst, count); break;
        case 5: sumProductsFixed<5>(rows, taps, dst, count); break;
        case 7: sumProductsFixed<7>(rows, taps, dst, count); break;
        case 17: sumProductsFixed<17>(rows, taps, dst, count); break;
        default: sumProductsAny(rows, taps, n, dst, count); break;
    }
}

// Any kernel length: each output's products are added to its running sum
// one tap at a time over a block of outputs, in the same order.
void filterAnyLength(const Vp32f* pSrc, int sStep, Vp32f* pDst, int dStep, VpiSize size, const Vp32f* pKernel, int n,
                     std::ptrdiff_t windowStart, std::ptrdiff_t tapStride) {
    constexpr int kBlock = 256;
    double acc[kBlock];
    for (int y = 0; y < size.height; ++y) {
        const Vp8u* srcRow = bytesAt(pSrc) + static_cast<std::ptrdiff_t>(y) * sStep;
        Vp32f* dst = rowAt(pDst, dStep, y);
        for (int x0 = 0; x0 < size.width; x0 += kBlock) {
            const int count = std::min(kBlock, size.width - x0);
            std::fill(acc, acc + count, 0.0);
            for (int j = 0; j < n; ++j) {
                const double tap = pKernel[n - 1 - j];
                const Vp32f* s = reinterpret_cast<const Vp32f*>(srcRow + (windowStart + j) * tapStride) + x0;
                for (int i = 0; i < count; ++i) acc[i] += tap * static_cast<double>(s[i]);
            }
            for (int i = 0; i < count; ++i) dst[x0 + i] = static_cast<Vp32f>(acc[i]);
        }
    }
}

// Rows are addressed with steps rounded down to whole floats; the window of
// an output starts n - 1 - anchor pixels (or rows) before it.
void filterRows(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize size, const Vp32f* pKernel, int n,
                int anchor) {
    const int sStep = srcStep & ~3;
    const int dStep = dstStep & ~3;
    const std::ptrdiff_t windowStart = -(static_cast<std::ptrdiff_t>(n) - 1 - anchor);
    if (n > kMaxTaps) {
        filterAnyLength(pSrc, sStep, pDst, dStep, size, pKernel, n, windowStart, sizeof(Vp32f));
        return;
    }
    double taps[kMaxTaps];
    for (int j = 0; j < n; ++j) taps[j] = pKernel[n - 1 - j];
    // One block of outputs needs its width plus n - 1 widened pixels.
    const int block = kWideBudget - (n - 1);
    double wide[kWideBudget];
    const double* shifted[kMaxTaps];
    for (int j = 0; j < n; ++j) shifted[j] = wide + j;
    for (int y = 0; y < size.height; ++y) {
        const Vp32f* window = reinterpret_cast<const Vp32f*>(bytesAt(pSrc) + static_cast<std::ptrdiff_t>(y) * sStep) +
                              windowStart;
        Vp32f* dst = rowAt(pDst, dStep, y);
        for (int x0 = 0; x0 < size.width; x0 += block) {
            const int count = std::min(block, size.width - x0);
            widen(window + x0, wide, count + n - 1);
            sumProducts(shifted, taps, n, dst + x0, count);
        }
    }
}

// Each source row of a strip of columns is widened once, into a ring of n
// rows, and serves the n output rows whose windows hold it.
void filterColumns(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize size, const Vp32f* pKernel,
                   int n, int anchor) {
    const int sStep = srcStep & ~3;
    const int dStep = dstStep & ~3;
    const std::ptrdiff_t windowStart = -(static_cast<std::ptrdiff_t>(n) - 1 - anchor);
    if (n > kMaxTaps) {
        filterAnyLength(pSrc, sStep, pDst, dStep, size, pKernel, n, windowStart, sStep);
        return;
    }
    double taps[kMaxTaps];
    for (int j = 0; j < n; ++j) taps[j] = pKernel[n - 1 - j];
    const int strip = kWideBudget / n;
    double ring[kWideBudget];
    const double* rows[kMaxTaps];
    auto sourceRow = [&](std::ptrdiff_t r) {
        return reinterpret_cast<const Vp32f*>(bytesAt(pSrc) + r * sStep);
    };
    for (int x0 = 0; x0 < size.width; x0 += strip) {
        const int count = std::min(strip, size.width - x0);
        // Window row r (relative to the first output row) lives in ring slot r mod n.
        for (int r = 0; r < n - 1; ++r) widen(sourceRow(windowStart + r) + x0, ring + r * strip, count);
        for (int y = 0; y < size.height; ++y) {
            const int newest = (y + n - 1) % n;
            widen(sourceRow(windowStart + y + n - 1) + x0, ring + newest * strip, count);
            for (int j = 0; j < n; ++j) rows[j] = ring + ((y + j) % n) * strip;
            sumProducts(rows, taps, n, rowAt(pDst, dStep, y) + x0, count);
        }
    }
}

}  // namespace

VpStatus FilterCheck_px(const Vp32f* pSrc, int srcStep, const Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                        const Vp32f* pKernel, int kernelSize, int anchor) {
    if (!pSrc || !pDst || !pKernel) return vpStsNullPtrErr;
    if (dstRoiSize.width <= 0 || dstRoiSize.height <= 0 || kernelSize <= 0) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    // An anchor outside the kernel would move the window off the pixels the
    // caller supplies around the region.
    if (anchor < 0 || anchor >= kernelSize) return vpStsAnchorErr;
    return vpStsNoErr;
}

void FilterRowCore_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                      const Vp32f* pKernel, int kernelSize, int xAnchor) {
    filterRows(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
}

void FilterColumnCore_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                         const Vp32f* pKernel, int kernelSize, int yAnchor) {
    filterColumns(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor);
}

VpStatus vpiFilterRow_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                                 const Vp32f* pKernel, int kernelSize, int xAnchor) {
    const VpStatus status = FilterCheck_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
    if (status != vpStsNoErr) return status;
    FilterRowCore_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
    return vpStsNoErr;
}

VpStatus vpiFilterColumn_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                                    VpiSize dstRoiSize, const Vp32f* pKernel, int kernelSize, int yAnchor) {
    const VpStatus status = FilterCheck_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor);
    if (status != vpStsNoErr) return status;
    FilterColumnCore_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor);
    return vpStsNoErr;
}
