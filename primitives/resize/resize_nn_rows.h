// The nearest-neighbour resize row drivers, the same at every processor level:
// each destination pixel is a raw copy of the source pixel the offset tables
// name. VP_NN_MEMBER(name, Word, N, stride) defines one table entry. Include
// only from level files (internal linkage).
#pragma once

#include <cstddef>
#include <cstring>

#include "primitives/core/vp_types.h"

namespace {

// Elements are moved as raw bytes, so float NaN payloads and signed zeros
// survive unchanged.
template <class Word, int N>
int resizeNN(const void* pSrc, void* pDst, int dstStep, int dstWidth, int dstHeight, const int* rowOffsets,
             const int* colOffsets, int dstPixelStride) {
    const Word* src = static_cast<const Word*>(pSrc);
    Word* dst = static_cast<Word*>(pDst);
    for (int i = 0; i < dstHeight; ++i) {
        const Word* row = src + rowOffsets[i];
        Word* out = dst + static_cast<std::ptrdiff_t>(i) * dstStep;
        for (int j = 0; j < dstWidth; ++j) {
            const Word* s = row + colOffsets[j];
            Word* d = out + static_cast<std::ptrdiff_t>(j) * dstPixelStride;
            std::memcpy(d, s, N * sizeof(Word));
        }
    }
    return dstHeight;
}

}  // namespace

#define VP_NN_MEMBER(name, Word, N, stride)                                                              \
    int name(const void* pSrc, void* pDst, int dstStep, int dstWidth, int dstHeight, const int* rowOffsets, \
             const int* colOffsets, int nChannels) {                                                     \
        (void)nChannels;                                                                                 \
        return resizeNN<Word, N>(pSrc, pDst, dstStep, dstWidth, dstHeight, rowOffsets, colOffsets, stride); \
    }
