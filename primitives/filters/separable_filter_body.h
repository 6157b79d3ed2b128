// Row and column convolution of float images at the SIMD levels, written once
// and instantiated in each level's file (a6, w7, t7). The including file
// defines VP_LEVEL_NAME(name) (the name with its level suffix),
// VP_LEVEL_MALLOC_32F (the float allocator its level calls) and, at a6 only,
// VP_LEVEL_CHUNKED_COLUMNS, which gives narrow column regions the chunked
// association order. Uses SSE single-precision instructions only.
//
// Every path's association order over the products p_j = k[n-1-j] * s_j
// (s_j the j-th window pixel from the left or the top) decides the low bits of
// its results; the order of each path is given where it is computed. Sums and
// products are single precision throughout.
#pragma once

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"

namespace {

inline Vp32f loadFloat(const Vp8u* p) {
    Vp32f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void storeFloat(Vp8u* p, Vp32f v) { std::memcpy(p, &v, sizeof v); }
inline std::uintptr_t addressOf(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Scalar fallback: every output from +0.0, adding p_0 ... p_{n-1} in order.
// Rows are addressed with steps rounded down to whole floats, as at px.
inline void filterFallback(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize size,
                           const Vp32f* pKernel, int n, int anchor, bool alongRows) {
    const std::ptrdiff_t sStep = srcStep & ~3;
    const std::ptrdiff_t dStep = dstStep & ~3;
    const std::ptrdiff_t tapStride = alongRows ? 4 : sStep;
    const std::ptrdiff_t windowStart = -(static_cast<std::ptrdiff_t>(n) - 1 - anchor);
    for (int y = 0; y < size.height; ++y) {
        const Vp8u* srcRow = reinterpret_cast<const Vp8u*>(pSrc) + y * sStep + windowStart * tapStride;
        Vp8u* dst = reinterpret_cast<Vp8u*>(pDst) + y * dStep;
        for (int x = 0; x < size.width; ++x) {
            Vp32f acc = 0.0f;
            for (int j = 0; j < n; ++j) acc = acc + pKernel[n - 1 - j] * loadFloat(srcRow + j * tapStride + 4 * x);
            storeFloat(dst + 4 * x, acc);
        }
    }
}

// Tap vector j holds k[n-1-j] in four lanes.
inline void fillTapVectors(Vp32f* taps, const Vp32f* lastTap, int n) {
    for (int j = 0; j < n; ++j) _mm_store_ps(taps + 4 * j, _mm_set1_ps(lastTap[-j]));
}
inline __m128 tap(const Vp32f* taps, int j) { return _mm_load_ps(taps + 4 * j); }

// Outputs before the first 16-byte source boundary of a row: none when the
// window starts on one, never more than the row holds.
inline int headCount(const Vp8u* s, int width) {
    const int misalign = static_cast<int>(addressOf(s) & 15);
    const int head = misalign ? (16 - misalign) / 4 : 0;
    return head < width ? head : width;
}

inline void storeVector(Vp8u* d, __m128 v, bool stream) {
    if (stream)
        _mm_stream_ps(reinterpret_cast<float*>(d), v);
    else
        _mm_storeu_ps(reinterpret_cast<float*>(d), v);
}

// ---- Row filter -----------------------------------------------------------

// Edge outputs of the row kernel, each from +0.0: ((+0.0 + p_0) + p_1) + ...
// Groups of four share the order, so four lanes compute them at once.
inline void rowEdgeOutputs(const Vp8u*& s, Vp8u*& d, int count, const Vp32f* taps, int n) {
    for (; count >= 4; count -= 4, s += 16, d += 16) {
        __m128 acc = _mm_setzero_ps();
        for (int j = 0; j < n; ++j) acc = _mm_add_ps(acc, _mm_mul_ps(tap(taps, j), _mm_loadu_ps(reinterpret_cast<const float*>(s + 4 * j))));
        _mm_storeu_ps(reinterpret_cast<float*>(d), acc);
    }
    for (; count > 0; --count, s += 4, d += 4) {
        Vp32f acc = 0.0f;
        for (int j = 0; j < n; ++j) acc = acc + taps[4 * j] * loadFloat(s + 4 * j);
        storeFloat(d, acc);
    }
}

// Main section: (p_0 + p_1) + ... + p_{n-1}, eight outputs per step.
inline int rowVectorKernel(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                           const Vp32f* lastTap, int n, Vp32f* taps) {
    if (n < 3) return 0;
    fillTapVectors(taps, lastTap, n);
    for (int y = 0; y < height; ++y) {
        const Vp8u* s = reinterpret_cast<const Vp8u*>(first) + static_cast<std::ptrdiff_t>(y) * srcStep;
        Vp8u* d = reinterpret_cast<Vp8u*>(pDst) + static_cast<std::ptrdiff_t>(y) * dstStep;
        if (addressOf(s) & 3) return 0;
        const int head = headCount(s, width);
        const int main = (width - head) & ~7;
        rowEdgeOutputs(s, d, head, taps, n);
        for (int i = 0; i < main; i += 8, s += 32, d += 32) {
            const float* p = reinterpret_cast<const float*>(s);
            __m128 t = tap(taps, 0);
            __m128 a0 = _mm_mul_ps(t, _mm_loadu_ps(p));
            __m128 a1 = _mm_mul_ps(t, _mm_loadu_ps(p + 4));
            for (int j = 1; j < n; ++j) {
                t = tap(taps, j);
                a0 = _mm_add_ps(a0, _mm_mul_ps(t, _mm_loadu_ps(p + j)));
                a1 = _mm_add_ps(a1, _mm_mul_ps(t, _mm_loadu_ps(p + j + 4)));
            }
            const bool stream = (addressOf(d) & 15) == 0;
            storeVector(d, a0, stream);
            storeVector(d + 16, a1, stream);
        }
        rowEdgeOutputs(s, d, width - head - main, taps, n);
    }
    _mm_sfence();
    return 1;
}

// ---- Column filter ---------------------------------------------------------

inline __m128 columnProduct(const Vp32f* taps, int j, const Vp8u* s, std::ptrdiff_t step) {
    return _mm_mul_ps(tap(taps, j), _mm_loadu_ps(reinterpret_cast<const float*>(s + j * step)));
}
inline Vp32f columnProductScalar(const Vp32f* taps, int j, const Vp8u* s, std::ptrdiff_t step) {
    return taps[4 * j] * loadFloat(s + j * step);
}

// Edge outputs of the column kernels: groups of four as ((p_0 + p_1) + p_2),
// then p_3, p_4, ... one at a time; single outputs from +0.0 in order.
inline void columnEdgeOutputs(const Vp8u*& s, std::ptrdiff_t step, Vp8u*& d, int count, const Vp32f* taps, int n) {
    for (; count >= 4; count -= 4, s += 16, d += 16) {
        __m128 acc = _mm_add_ps(_mm_add_ps(columnProduct(taps, 0, s, step), columnProduct(taps, 1, s, step)),
                                columnProduct(taps, 2, s, step));
        for (int j = 3; j < n; ++j) acc = _mm_add_ps(acc, columnProduct(taps, j, s, step));
        _mm_storeu_ps(reinterpret_cast<float*>(d), acc);
    }
    for (; count > 0; --count, s += 4, d += 4) {
        Vp32f acc = 0.0f;
        for (int j = 0; j < n; ++j) acc = acc + columnProductScalar(taps, j, s, step);
        storeFloat(d, acc);
    }
}

// Pass order: ((p_0 + p_1) + p_2), then + (p_3 + p_4), + (p_5 + p_6), ...,
// then + p_{n-1} when n - 3 is odd.
inline __m128 passOrderSum(const Vp32f* taps, int n, const Vp8u* s, std::ptrdiff_t step) {
    __m128 acc = _mm_add_ps(_mm_add_ps(columnProduct(taps, 0, s, step), columnProduct(taps, 1, s, step)),
                            columnProduct(taps, 2, s, step));
    int j = 3;
    for (; j + 1 < n; j += 2)
        acc = _mm_add_ps(_mm_add_ps(columnProduct(taps, j, s, step), columnProduct(taps, j + 1, s, step)), acc);
    if (j < n) acc = _mm_add_ps(columnProduct(taps, j, s, step), acc);
    return acc;
}

// Taps from..to-1 of one chunk added to acc: over the chunk's even part,
// (((p_a + p_b) + p_c) + p_d) while more than two remain and (p_a + p_b) when
// exactly two do; then an odd last tap on its own.
inline __m128 addChunk(__m128 acc, const Vp32f* taps, int from, int to, const Vp8u* s, std::ptrdiff_t step) {
    int j = from;
    int even = (to - from) & ~1;
    for (; even > 2; even -= 4, j += 4) {
        const __m128 q = _mm_add_ps(_mm_add_ps(_mm_add_ps(columnProduct(taps, j, s, step),
                                                          columnProduct(taps, j + 1, s, step)),
                                               columnProduct(taps, j + 2, s, step)),
                                    columnProduct(taps, j + 3, s, step));
        acc = _mm_add_ps(q, acc);
    }
    if (even == 2) {
        acc = _mm_add_ps(_mm_add_ps(columnProduct(taps, j, s, step), columnProduct(taps, j + 1, s, step)), acc);
        j += 2;
    }
    if (j < to) acc = _mm_add_ps(columnProduct(taps, j, s, step), acc);
    return acc;
}

// Chunked order: the first chunk is all n taps when n <= 12, otherwise 11;
// each later chunk takes up to 11 more. The first chunk starts with
// ((p_0 + p_1) + p_2) and adds its other taps as addChunk does; every later
// chunk adds its taps as addChunk does.
inline __m128 chunkedOrderSum(const Vp32f* taps, int n, const Vp8u* s, std::ptrdiff_t step) {
    __m128 acc = _mm_add_ps(_mm_add_ps(columnProduct(taps, 0, s, step), columnProduct(taps, 1, s, step)),
                            columnProduct(taps, 2, s, step));
    const int firstChunk = n <= 12 ? n : 11;
    acc = addChunk(acc, taps, 3, firstChunk, s, step);
    for (int from = firstChunk; from < n; from += 11) acc = addChunk(acc, taps, from, from + 11 < n ? from + 11 : n, s, step);
    return acc;
}

// Column kernel skeleton shared by both designs: per row, edge outputs up to
// the source's 16-byte boundary, a main section of whole groups of 16 outputs
// summed in `Order`, and edge outputs for the rest. Three taps store their
// main section non-temporally when the destination allows it.
template <__m128 (*Order)(const Vp32f*, int, const Vp8u*, std::ptrdiff_t)>
int columnKernel(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                 const Vp32f* lastTap, int n, Vp32f* taps) {
    if (n < 3) return 0;
    // Decline before writing anything when some row's window is not float-aligned.
    for (int y = 0; y < height; ++y)
        if (addressOf(reinterpret_cast<const Vp8u*>(first) + static_cast<std::ptrdiff_t>(y) * srcStep) & 3) return 0;
    fillTapVectors(taps, lastTap, n);
    const std::ptrdiff_t step = srcStep;
    for (int y = 0; y < height; ++y) {
        const Vp8u* s = reinterpret_cast<const Vp8u*>(first) + y * step;
        Vp8u* d = reinterpret_cast<Vp8u*>(pDst) + static_cast<std::ptrdiff_t>(y) * dstStep;
        const int head = headCount(s, width);
        const int main = (width - head) & ~15;
        columnEdgeOutputs(s, step, d, head, taps, n);
        const bool stream = n == 3 && (addressOf(d) & 15) == 0 && (dstStep & 15) == 0;
        for (int i = 0; i < main; i += 16, s += 64, d += 64) {
            const __m128 a0 = Order(taps, n, s, step);
            const __m128 a1 = Order(taps, n, s + 16, step);
            const __m128 a2 = Order(taps, n, s + 32, step);
            const __m128 a3 = Order(taps, n, s + 48, step);
            storeVector(d, a0, stream);
            storeVector(d + 16, a1, stream);
            storeVector(d + 32, a2, stream);
            storeVector(d + 48, a3, stream);
        }
        columnEdgeOutputs(s, step, d, width - head - main, taps, n);
    }
    _mm_sfence();
    return 1;
}

using VectorKernel = int (*)(const Vp32f*, int, Vp32f*, int, int, int, const Vp32f*, int, Vp32f*);

// The SIMD core: the vector kernel over a buffer of broadcast taps when the
// kernel has three taps or more and the buffer can be had; the scalar
// fallback otherwise or when the kernel declines.
inline void filterCoreSimd(VectorKernel kernel, const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                           VpiSize size, const Vp32f* pKernel, int n, int anchor, bool alongRows) {
    if (n > 2) {
        if (Vp32f* taps = VP_LEVEL_MALLOC_32F(4 * n)) {
            const std::ptrdiff_t back = static_cast<std::ptrdiff_t>(n - 1 - anchor) * (alongRows ? 4 : srcStep);
            const Vp32f* first = reinterpret_cast<const Vp32f*>(reinterpret_cast<const Vp8u*>(pSrc) - back);
            const int done = kernel(first, srcStep, pDst, dstStep, size.width, size.height, pKernel + n - 1, n, taps);
            vpsFree(taps);
            if (done) return;
        }
    }
    filterFallback(pSrc, srcStep, pDst, dstStep, size, pKernel, n, anchor, alongRows);
}

}  // namespace

int VP_LEVEL_NAME(FilterRowVectorKernel)(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width,
                                         int height, const Vp32f* lastTap, int n, Vp32f* taps) {
    return rowVectorKernel(first, srcStep, pDst, dstStep, width, height, lastTap, n, taps);
}

#ifdef VP_LEVEL_CHUNKED_COLUMNS
// Wide rows with more than three taps use the pass order; three taps and rows
// of at most 256 pixels the chunked order.
int FilterColumnWideKernel_a6(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                              const Vp32f* lastTap, int n, Vp32f* taps) {
    return columnKernel<passOrderSum>(first, srcStep, pDst, dstStep, width, height, lastTap, n, taps);
}
int VP_LEVEL_NAME(FilterColumnVectorKernel)(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width,
                                            int height, const Vp32f* lastTap, int n, Vp32f* taps) {
    if (n != 3 && width > 256)
        return FilterColumnWideKernel_a6(first, srcStep, pDst, dstStep, width, height, lastTap, n, taps);
    return columnKernel<chunkedOrderSum>(first, srcStep, pDst, dstStep, width, height, lastTap, n, taps);
}
#else
int VP_LEVEL_NAME(FilterColumnVectorKernel)(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width,
                                            int height, const Vp32f* lastTap, int n, Vp32f* taps) {
    return columnKernel<passOrderSum>(first, srcStep, pDst, dstStep, width, height, lastTap, n, taps);
}
#endif

void VP_LEVEL_NAME(FilterRowCore)(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                                  const Vp32f* pKernel, int kernelSize, int xAnchor) {
    filterCoreSimd(VP_LEVEL_NAME(FilterRowVectorKernel), pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel,
                   kernelSize, xAnchor, true);
}

void VP_LEVEL_NAME(FilterColumnCore)(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                                     const Vp32f* pKernel, int kernelSize, int yAnchor) {
    filterCoreSimd(VP_LEVEL_NAME(FilterColumnVectorKernel), pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel,
                   kernelSize, yAnchor, false);
}

VpStatus VP_LEVEL_NAME(vpiFilterRow_32f_C1R)(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                                             VpiSize dstRoiSize, const Vp32f* pKernel, int kernelSize, int xAnchor) {
    const VpStatus status = FilterCheck_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
    if (status != vpStsNoErr) return status;
    VP_LEVEL_NAME(FilterRowCore)(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
    return vpStsNoErr;
}

VpStatus VP_LEVEL_NAME(vpiFilterColumn_32f_C1R)(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                                                VpiSize dstRoiSize, const Vp32f* pKernel, int kernelSize,
                                                int yAnchor) {
    const VpStatus status = FilterCheck_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor);
    if (status != vpStsNoErr) return status;
    VP_LEVEL_NAME(FilterColumnCore)(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor);
    return vpStsNoErr;
}
