// px linear row kernels: each destination pixel of the spans blends the 2x2
// source pixels around its inverse-mapped point, in double precision.
#include <cstring>

#include "primitives/warp/warp_px.h"
#include "primitives/warp/warp_rows.h"

namespace {

// Cell and fraction along one axis: the double sum v + 1e-7 truncated toward
// zero; at or past the last column the cell is the last one with fraction 1.
// A point further left than the image (never produced by the spans) takes
// cell 0 so that no read leaves the image.
inline int linearCell(double v, int maxIndex, double& frac) {
    int i = WarpTruncToInt(v + 1e-7);
    if (i < maxIndex) {
        if (i < 0) i = 0;
        frac = v - i;
    } else {
        i = maxIndex - 1;
        frac = 1.0;
    }
    return i;
}

template <typename T>
inline void storeLinear(unsigned char* p, double top, double bottom, double fy) {
    T out;
    if constexpr (sizeof(T) == 4) {
        out = static_cast<T>(top + fy * (bottom - top));
    } else if constexpr (sizeof(T) == 1) {
        // Rounding half up for results in range; the low 8 bits otherwise.
        const int v = WarpTruncToInt((top + 0.5) + fy * (bottom - top));
        out = static_cast<T>(static_cast<unsigned>(v) & 0xFFu);
    } else {
        // Truncation, the low 16 bits.
        const int v = WarpTruncToInt(top + fy * (bottom - top));
        out = static_cast<T>(static_cast<unsigned>(v) & 0xFFFFu);
    }
    std::memcpy(p, &out, sizeof(T));
}

template <typename T, int Stride, int Channels, int Planes>
void warpLinearRows(const void* pSrc, void* pDst, int srcStep, int dstStep, int firstRow, int lastRow,
                    const WarpRowSpan* pSpans, const WarpInverseCoeffs* pCoeffs, int srcMaxX, int srcMaxY) {
    const WarpPlanePointers<Planes, const unsigned char> src(pSrc);
    constexpr int e = static_cast<int>(sizeof(T));
    constexpr int kPixelBytes = Stride * e;
    const auto pixel = [&](unsigned char* const* dstRows, int x, double sx, double sy) {
        double fx, fy;
        const int ix = linearCell(sx, srcMaxX, fx);
        const int iy = linearCell(sy, srcMaxY, fy);
        const std::ptrdiff_t offset = WarpOffset(iy, srcStep, ix, kPixelBytes);
        const std::ptrdiff_t dstOffset = static_cast<std::ptrdiff_t>(x) * kPixelBytes;
        for (int k = 0; k < src.kCount; ++k) {
            for (int ch = 0; ch < Channels; ++ch) {
                const unsigned char* p = src.at[k] + offset + ch * e;
                const double p00 = warpSampleAt<T>(p);
                const double p01 = warpSampleAt<T>(p + kPixelBytes);
                const double p10 = warpSampleAt<T>(p + srcStep);
                const double p11 = warpSampleAt<T>(p + srcStep + kPixelBytes);
                const double top = p00 + fx * (p01 - p00);
                const double bottom = p10 + fx * (p11 - p10);
                storeLinear<T>(dstRows[k] + dstOffset + ch * e, top, bottom, fy);
            }
        }
    };
    warpWalkPixels<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, *pCoeffs, pixel);
}

}  // namespace

#define VP_WARP_DEFINE_LINEAR_PX(depthName, T, layoutName, code, stride, channels, planes)                 \
    void WarpLinear_##depthName##_##layoutName##_px(VP_WARP_ROW_KERNEL_PARAMS) {                           \
        (void)pBuffer;                                                                                     \
        warpLinearRows<T, stride, channels, planes>(pSrc, pDst, srcStep, dstStep, firstRow, lastRow, pSpans, \
                                                    pCoeffs, srcMaxX, srcMaxY);                            \
    }
VP_WARP_FORMATS(VP_WARP_DEFINE_LINEAR_PX)
#undef VP_WARP_DEFINE_LINEAR_PX
