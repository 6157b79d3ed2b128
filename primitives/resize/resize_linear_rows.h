// The linear resize row drivers shared by every processor level: the two ring
// rows of source rows r and r + 1 and the choice of row passes by pixel form. A
// level supplies its own row passes. Include only from level files; everything
// here has internal linkage so that each level compiles it with its own flags.
#pragma once

#include <cstddef>
#include <utility>

#include "primitives/core/vp_types.h"

// Parameter and argument lists of the table entries.
#define VP_LINEAR_ARGS                                                                                   \
    pSrc, pDst, srcStep, dstStep, dstWidth, dstHeight, rowOffsets, colOffsets, rowWeights, colWeights, \
        rowBuffer0, rowBuffer1
#define VP_LINEAR_PARAMS                                                                              \
    const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,               \
        const int* rowOffsets, const int* colOffsets, const void* rowWeights, const void* colWeights, \
        void* rowBuffer0, void* rowBuffer1, int nChannels, int layout

namespace {

// 8-bit horizontal pass: (s0 * w0 + s1 * w1 + Round) >> 8 per value, into
// 1/64 grey levels; px rounds (Round 128), the SIMD levels truncate (0).
// Pixels handled per block: the samples of a block are gathered into local
// arrays first, so that the arithmetic runs over contiguous data. The results
// are those of the pixel-by-pixel loop.
constexpr int kBlockPixels = 8;

template <int K, int Round>
void linearH8u(const Vp8u* src, int count, int d, const int* colOffsets, const Vp16u* colWeights, Vp16s* out) {
    constexpr int kValues = kBlockPixels * K;
    int j = 0;
    for (; j + kBlockPixels <= count; j += kBlockPixels) {
        // Samples and Q14 weights fit 16 bits; their products are formed in 32.
        Vp16s s0[kValues], s1[kValues], w0[kValues], w1[kValues];
        for (int q = 0; q < kBlockPixels; ++q) {
            const Vp8u* s = src + colOffsets[j + q];
            for (int c = 0; c < K; ++c) {
                s0[q * K + c] = s[c];
                s1[q * K + c] = s[d + c];
                w0[q * K + c] = static_cast<Vp16s>(colWeights[2 * (j + q)]);
                w1[q * K + c] = static_cast<Vp16s>(colWeights[2 * (j + q) + 1]);
            }
        }
        Vp16s* o = out + static_cast<std::ptrdiff_t>(K) * j;
        for (int v = 0; v < kValues; ++v) {
            o[v] = static_cast<Vp16s>((static_cast<int>(s0[v]) * w0[v] + static_cast<int>(s1[v]) * w1[v] + Round) >> 8);
        }
    }
    for (; j < count; ++j) {
        const Vp8u* s = src + colOffsets[j];
        const int w0 = colWeights[2 * j];
        const int w1 = colWeights[2 * j + 1];
        for (int c = 0; c < K; ++c) {
            out[K * j + c] = static_cast<Vp16s>((s[c] * w0 + s[d + c] * w1 + Round) >> 8);
        }
    }
}


// Keeps the horizontal passes of source rows r and r + 1 in the upper and lower
// ring rows; consecutive destination rows that share the pair only run the
// vertical pass, and a pair advanced by one row reuses the old lower row.
template <class T, class H, class V>
int linearRows(const T* src, T* dst, int srcStep, int dstStep, int dstHeight, const int* rowOffsets,
               void* rowBuffer0, void* rowBuffer1, H horizontal, V vertical) {
    void* upper = rowBuffer0;
    void* lower = rowBuffer1;
    int last = rowOffsets[0] - 1;
    horizontal(src, lower);
    for (int i = 0; i < dstHeight; ++i) {
        const int r = rowOffsets[i];
        if (r > last) {
            std::swap(upper, lower);
            horizontal(src + r + srcStep, lower);
            if (r > last + srcStep) horizontal(src + r, upper);
            last = r;
        }
        vertical(dst + static_cast<std::ptrdiff_t>(i) * dstStep, i, upper, lower);
    }
    return dstHeight;
}


// Shared body of the three/four-channel entries of one depth. Ring, weight and
// pass types follow the depth.
template <class T, class R, class W, class RW, class HC3, class HC4, class VFull, class VAC4>
int linearC3C4(const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,
               const int* rowOffsets, const int* colOffsets, const void* rowWeights, const void* colWeights,
               void* rowBuffer0, void* rowBuffer1, int nChannels, int layout, HC3 hc3, HC4 hc4, VFull vFull,
               VAC4 vAC4) {
    const T* src = static_cast<const T*>(pSrc);
    const W* cw = static_cast<const W*>(colWeights);
    const RW* rw = static_cast<const RW*>(rowWeights);
    auto horizontal = [&](const T* row, void* out) {
        if (layout == 3) {
            hc3(row, dstWidth, nChannels, colOffsets, cw, static_cast<R*>(out));
        } else {
            hc4(row, dstWidth, colOffsets, cw, static_cast<R*>(out));
        }
    };
    auto vertical = [&](T* out, int i, void* upper, void* lower) {
        if (nChannels == layout) {
            vFull(out, dstWidth * layout, rw[i], static_cast<const R*>(upper), static_cast<const R*>(lower));
        } else {
            vAC4(out, dstWidth, rw[i], static_cast<const R*>(upper), static_cast<const R*>(lower));
        }
    };
    return linearRows(src, static_cast<T*>(pDst), srcStep, dstStep, dstHeight, rowOffsets, rowBuffer0,
                      rowBuffer1, horizontal, vertical);
}

template <class T, class R, class W, class RW, class HC1, class VFull>
int linearC1(const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,
             const int* rowOffsets, const int* colOffsets, const void* rowWeights, const void* colWeights,
             void* rowBuffer0, void* rowBuffer1, HC1 hc1, VFull vFull) {
    const T* src = static_cast<const T*>(pSrc);
    const W* cw = static_cast<const W*>(colWeights);
    const RW* rw = static_cast<const RW*>(rowWeights);
    auto horizontal = [&](const T* row, void* out) { hc1(row, dstWidth, colOffsets, cw, static_cast<R*>(out)); };
    auto vertical = [&](T* out, int i, void* upper, void* lower) {
        vFull(out, dstWidth, rw[i], static_cast<const R*>(upper), static_cast<const R*>(lower));
    };
    return linearRows(src, static_cast<T*>(pDst), srcStep, dstStep, dstHeight, rowOffsets, rowBuffer0,
                      rowBuffer1, horizontal, vertical);
}

}  // namespace
