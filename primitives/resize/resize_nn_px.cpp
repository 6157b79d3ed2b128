// Nearest-neighbour row drivers, plain code: every destination pixel is a raw
// copy of the source pixel that the offset tables name.
#include <cstddef>
#include <cstring>

#include "primitives/resize/resize_px.h"

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

VP_NN_MEMBER(ResizeNN_8u_C3_px, Vp8u, 3, nChannels)
VP_NN_MEMBER(ResizeNN_16u_C3_px, Vp16u, 3, nChannels)
VP_NN_MEMBER(ResizeNN_32f_C3_px, Vp32f, 3, nChannels)
VP_NN_MEMBER(ResizeNN_8u_C1_px, Vp8u, 1, 1)
VP_NN_MEMBER(ResizeNN_16u_C1_px, Vp16u, 1, 1)
VP_NN_MEMBER(ResizeNN_32f_C1_px, Vp32f, 1, 1)
VP_NN_MEMBER(ResizeNN_8u_C4_px, Vp8u, 4, 4)
VP_NN_MEMBER(ResizeNN_16u_C4_px, Vp16u, 4, 4)
VP_NN_MEMBER(ResizeNN_32f_C4_px, Vp32f, 4, 4)

#undef VP_NN_MEMBER
