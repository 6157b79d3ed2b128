// px nearest-neighbour row kernels: each destination pixel of the spans copies
// the source pixel nearest to its inverse-mapped point, as raw bits.
#include <cstring>

#include "primitives/warp/warp_px.h"

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
    if (lastRow < firstRow) return;
    const WarpInverseCoeffs c = *pCoeffs;
    constexpr int kPlaneCount = Planes ? Planes : 1;
    const unsigned char* srcPlanes[kPlaneCount];
    unsigned char* dstRows[kPlaneCount];
    if constexpr (Planes) {
        for (int k = 0; k < Planes; ++k) {
            srcPlanes[k] = static_cast<const unsigned char*>(static_cast<const void* const*>(pSrc)[k]);
            dstRows[k] = static_cast<unsigned char*>(static_cast<void* const*>(pDst)[k]);
        }
    } else {
        srcPlanes[0] = static_cast<const unsigned char*>(pSrc);
        dstRows[0] = static_cast<unsigned char*>(pDst);
    }
    constexpr int kPixelBytes = Stride * static_cast<int>(sizeof(T));
    double rowX = c.c1 * firstRow + c.c2;
    double rowY = c.c4 * firstRow + c.c5;
    for (int i = 0; i <= lastRow - firstRow; ++i) {
        const WarpRowSpan span = pSpans[i];
        if (span.xEnd >= span.xBegin) {
            double sx = rowX + c.c0 * span.xBegin;
            double sy = rowY + c.c3 * span.xBegin;
            for (int x = span.xBegin; x <= span.xEnd; ++x) {
                const int ix = nearestIndex(sx, srcMaxX);
                const int iy = nearestIndex(sy, srcMaxY);
                const std::ptrdiff_t srcOffset = WarpOffset(iy, srcStep, ix, kPixelBytes);
                const std::ptrdiff_t dstOffset = static_cast<std::ptrdiff_t>(x) * kPixelBytes;
                for (int k = 0; k < kPlaneCount; ++k)
                    std::memcpy(dstRows[k] + dstOffset, srcPlanes[k] + srcOffset, Channels * sizeof(T));
                sx += c.c0;
                sy += c.c3;
            }
        }
        rowX += c.c1;
        rowY += c.c4;
        for (int k = 0; k < kPlaneCount; ++k) dstRows[k] += dstStep;
    }
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
