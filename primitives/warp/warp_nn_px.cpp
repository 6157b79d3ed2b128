// px nearest-neighbour row kernels: each destination pixel of the spans copies
// the source pixel nearest to its inverse-mapped point, as raw bits.
#include <cstring>

#include "primitives/warp/warp_px.h"
#include "primitives/warp/warp_rows.h"

namespace {

// Nearest index: the double sum v + 0.5 truncated toward zero (so 2.5 gives 3
// and anything in (-1.5, 0.5) gives 0), clamped into the source image so that
// rounding can never lead a read outside it.
inline int nearestIndex(double v, int maxIndex) {
    const int i = WarpTruncToInt(v + 0.5);
    return i < 0 ? 0 : (i > maxIndex ? maxIndex : i);
}

template <typename T, int Stride, int Channels, int Planes>
void warpNNRows(const void* pSrc, void* pDst, int srcStep, int dstStep, int firstRow, int lastRow,
                const WarpRowSpan* pSpans, const WarpInverseCoeffs* pCoeffs, int srcMaxX, int srcMaxY) {
    const WarpPlanePointers<Planes, const unsigned char> src(pSrc);
    constexpr int kPixelBytes = Stride * static_cast<int>(sizeof(T));
    const auto pixel = [&](unsigned char* const* dstRows, int x, double sx, double sy) {
        const int ix = nearestIndex(sx, srcMaxX);
        const int iy = nearestIndex(sy, srcMaxY);
        const std::ptrdiff_t srcOffset = WarpOffset(iy, srcStep, ix, kPixelBytes);
        const std::ptrdiff_t dstOffset = static_cast<std::ptrdiff_t>(x) * kPixelBytes;
        for (int k = 0; k < src.kCount; ++k)
            std::memcpy(dstRows[k] + dstOffset, src.at[k] + srcOffset, Channels * sizeof(T));
    };
    warpWalkPixels<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, *pCoeffs, pixel);
}

}  // namespace

#define VP_WARP_DEFINE_NN_PX(depthName, T, layoutName, code, stride, channels, planes)                 \
    void WarpNN_##depthName##_##layoutName##_px(VP_WARP_ROW_KERNEL_PARAMS) {                           \
        (void)pBuffer;                                                                                 \
        warpNNRows<T, stride, channels, planes>(pSrc, pDst, srcStep, dstStep, firstRow, lastRow, pSpans, \
                                                pCoeffs, srcMaxX, srcMaxY);                            \
    }
VP_WARP_FORMATS(VP_WARP_DEFINE_NN_PX)
#undef VP_WARP_DEFINE_NN_PX
