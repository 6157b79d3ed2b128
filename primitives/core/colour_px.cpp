// px level of the RGB and YUV conversions, in 16.16 fixed point.
//   Y = 0.299 R + 0.587 G + 0.114 B, U = 0.492 (B - Y) + 128, V = 0.877 (R - Y) + 128
//   R = Y + 1.140 v, G = Y - 0.394 u - 0.581 v, B = Y + 2.032 u   (u = U - 128, v = V - 128)
// Right shifts of negative values round toward minus infinity.
#include <algorithm>
#include <cstdint>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

inline int clampByte(int v) { return std::min(255, std::max(0, v)); }

// Rows are converted in runs of kRun pixels: the interleaved bytes are moved
// to (or from) separate component arrays with plain byte moves, and the
// arithmetic runs over contiguous arrays, where the compiler vectorises it.
constexpr int kRun = 128;

void RGBToYUVRow_px(const Vp8u* src, Vp8u* y, Vp8u* u, Vp8u* v, int width) {
    // 16-bit components, so that the products by the 16-bit weights are
    // widening multiplications.
    std::uint16_t R[kRun], G[kRun], B[kRun];
    for (int start = 0; start < width; start += kRun) {
        const int n = std::min(kRun, width - start);
        const Vp8u* s = src + 3 * start;
        for (int x = 0; x < n; ++x) {
            R[x] = s[3 * x];
            G[x] = s[3 * x + 1];
            B[x] = s[3 * x + 2];
        }
        Vp8u* yr = y + start;
        Vp8u* ur = u + start;
        Vp8u* vr = v + start;
        for (int x = 0; x < n; ++x) {
            const int c = static_cast<int>(R[x] * 19595u + G[x] * 38470u + B[x] * 7471u);
            const int dB = ((B[x] << 16) - c + 32767) >> 16;  // B - Y, exact halves rounded down
            const int dR = ((R[x] << 16) - c + 32767) >> 16;
            yr[x] = static_cast<Vp8u>(c >> 16);
            ur[x] = static_cast<Vp8u>(((dB * 32244) >> 16) + 128);  // always 16..239
            // (dR * 57475) >> 16 written as dR + ((dR * -8061) >> 16): the same
            // value (57475 = 65536 - 8061), with a factor that fits 16 bits.
            vr[x] = static_cast<Vp8u>(clampByte(dR + ((dR * -8061) >> 16) + 128));
        }
    }
}

void RGBToYUVRows_px(const Vp8u* pSrc, int srcStep, Vp8u* const pDst[3], int dstStep, VpiSize roiSize) {
    for (int r = 0; r < roiSize.height; ++r)
        RGBToYUVRow_px(rowAt(pSrc, srcStep, r), rowAt(pDst[0], dstStep, r), rowAt(pDst[1], dstStep, r),
                       rowAt(pDst[2], dstStep, r), roiSize.width);
}

void YUVToRGBRow_px(const Vp8u* y, const Vp8u* u, const Vp8u* v, Vp8u* dst, int width) {
    Vp8u R[kRun], G[kRun], B[kRun];
    for (int start = 0; start < width; start += kRun) {
        const int n = std::min(kRun, width - start);
        const Vp8u* yr = y + start;
        const Vp8u* ur = u + start;
        const Vp8u* vr = v + start;
        for (int x = 0; x < n; ++x) {
            const int Y = 65536 * yr[x];
            const int du = ur[x] - 128, dv = vr[x] - 128;
            R[x] = static_cast<Vp8u>(clampByte((Y + 74710 * dv) >> 16));
            G[x] = static_cast<Vp8u>(clampByte((Y - 25820 * du - 38075 * dv) >> 16));
            B[x] = static_cast<Vp8u>(clampByte((Y + 133168 * du) >> 16));
        }
        Vp8u* d = dst + 3 * start;
        for (int x = 0; x < n; ++x) {
            d[3 * x] = R[x];
            d[3 * x + 1] = G[x];
            d[3 * x + 2] = B[x];
        }
    }
}

void YUVToRGBRows_px(const Vp8u* const pSrc[3], int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize) {
    for (int r = 0; r < roiSize.height; ++r)
        YUVToRGBRow_px(rowAt(pSrc[0], srcStep, r), rowAt(pSrc[1], srcStep, r), rowAt(pSrc[2], srcStep, r),
                       rowAt(pDst, dstStep, r), roiSize.width);
}

}  // namespace

VpStatus vpiRGBToYUV_8u_C3P3R_px(const Vp8u* pSrc, int srcStep, Vp8u* const pDst[3], int dstStep,
                                 VpiSize roiSize) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (!pDst[0] || !pDst[1] || !pDst[2]) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    RGBToYUVRows_px(pSrc, srcStep, pDst, dstStep, roiSize);
    return vpStsNoErr;
}

VpStatus vpiYUVToRGB_8u_P3C3R_px(const Vp8u* const pSrc[3], int srcStep, Vp8u* pDst, int dstStep,
                                 VpiSize roiSize) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (!pSrc[0] || !pSrc[1] || !pSrc[2]) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    YUVToRGBRows_px(pSrc, srcStep, pDst, dstStep, roiSize);
    return vpStsNoErr;
}
