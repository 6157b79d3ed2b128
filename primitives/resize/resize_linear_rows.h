// The linear resize row drivers shared by every processor level: the two ring
// rows of source rows r and r + 1 and the choice of row passes by pixel form. A
// level supplies its own row passes. Include only from level files; everything
// here has internal linkage so that each level compiles it with its own flags.
#pragma once

#include <cstddef>
#include <utility>

// Parameter and argument lists of the table entries.
#define VP_LINEAR_ARGS                                                                                   \
    pSrc, pDst, srcStep, dstStep, dstWidth, dstHeight, rowOffsets, colOffsets, rowWeights, colWeights, \
        rowBuffer0, rowBuffer1
#define VP_LINEAR_PARAMS                                                                              \
    const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,               \
        const int* rowOffsets, const int* colOffsets, const void* rowWeights, const void* colWeights, \
        void* rowBuffer0, void* rowBuffer1, int nChannels, int layout

namespace {

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
