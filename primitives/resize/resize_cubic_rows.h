// The cubic resize row drivers shared by every processor level: the ring of
// four horizontally resampled source rows and the choice of row passes by pixel
// form. A level supplies its own row passes. Include only from level files;
// everything here has internal linkage so that each level compiles it with its
// own flags.
#pragma once

#include <cstddef>

// Parameter and argument lists of the table entries.
#define VP_CUBIC_PARAMS                                                                                 \
    const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,                 \
        const int* rowOffsets, const int* colOffsets, const float* rowWeights, const float* colWeights, \
        float* rowBuffer0, float* rowBuffer1, float* rowBuffer2, float* rowBuffer3, int nChannels, int layout
#define VP_CUBIC_ARGS \
    pSrc, pDst, srcStep, dstStep, dstWidth, dstHeight, rowOffsets, colOffsets, rowWeights, colWeights, ring

namespace {

// ---- row driver -------------------------------------------------------------
// Brings the ring to the window base-1 .. base+2 of each destination row. A ring
// row keeps its source row while that row stays in the window; rows entering the
// window are resampled into ring rows whose source row has left it. The offsets
// are non-decreasing, so no source row is resampled twice.
template <class T, class H, class V>
int cubicRows(const T* src, T* dst, int srcStep, int dstStep, int dstHeight, const int* rowOffsets,
              float* const ringRows[4], H horizontal, V vertical) {
    int held[4];
    bool valid[4] = {false, false, false, false};
    const int base0 = rowOffsets[0];
    for (int k = 0; k < 3; ++k) {
        held[k] = base0 + (k - 1) * srcStep;
        valid[k] = true;
        horizontal(src + held[k], ringRows[k]);
    }
    held[3] = 0;
    int prev = base0 - 1;
    const float* window[4] = {ringRows[0], ringRows[1], ringRows[2], nullptr};
    for (int i = 0; i < dstHeight; ++i) {
        const int off = rowOffsets[i];
        if (off > prev) {
            bool taken[4] = {false, false, false, false};
            const float* next[4] = {nullptr, nullptr, nullptr, nullptr};
            for (int k = 0; k < 4; ++k) {
                const int row = off + (k - 1) * srcStep;
                for (int b = 0; b < 4; ++b) {
                    if (valid[b] && !taken[b] && held[b] == row) {
                        taken[b] = true;
                        next[k] = ringRows[b];
                        break;
                    }
                }
            }
            for (int k = 0; k < 4; ++k) {
                if (next[k]) continue;
                int b = 0;
                while (taken[b]) ++b;
                taken[b] = true;
                held[b] = off + (k - 1) * srcStep;
                valid[b] = true;
                horizontal(src + held[b], ringRows[b]);
                next[k] = ringRows[b];
            }
            for (int k = 0; k < 4; ++k) window[k] = next[k];
            prev = off;
        }
        vertical(dst + static_cast<std::ptrdiff_t>(i) * dstStep, i, window);
    }
    return dstHeight;
}

template <class T, class HC3, class HC4, class VFull, class VAC4>
int cubicC3C4(const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,
              const int* rowOffsets, const int* colOffsets, const float* rowWeights, const float* colWeights,
              float* const ringRows[4], int nChannels, int layout, HC3 hc3, HC4 hc4, VFull vFull, VAC4 vAC4) {
    auto horizontal = [&](const T* row, float* out) {
        if (layout == 3) {
            hc3(row, dstWidth, nChannels, colOffsets, colWeights, out);
        } else {
            hc4(row, dstWidth, colOffsets, colWeights, out);
        }
    };
    auto vertical = [&](T* out, int i, const float* const w[4]) {
        if (nChannels == layout) {
            vFull(out, dstWidth * layout, rowWeights[i], w[0], w[1], w[2], w[3]);
        } else {
            vAC4(out, dstWidth, rowWeights[i], w[0], w[1], w[2], w[3]);
        }
    };
    return cubicRows(static_cast<const T*>(pSrc), static_cast<T*>(pDst), srcStep, dstStep, dstHeight, rowOffsets,
                     ringRows, horizontal, vertical);
}

template <class T, class HC1, class VFull>
int cubicC1(const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,
            const int* rowOffsets, const int* colOffsets, const float* rowWeights, const float* colWeights,
            float* const ringRows[4], HC1 hc1, VFull vFull) {
    auto horizontal = [&](const T* row, float* out) { hc1(row, dstWidth, colOffsets, colWeights, out); };
    auto vertical = [&](T* out, int i, const float* const w[4]) {
        vFull(out, dstWidth, rowWeights[i], w[0], w[1], w[2], w[3]);
    };
    return cubicRows(static_cast<const T*>(pSrc), static_cast<T*>(pDst), srcStep, dstStep, dstHeight, rowOffsets,
                     ringRows, horizontal, vertical);
}

}  // namespace
