// px level of the RGB and YUV conversions, in 16.16 fixed point:
//   c = 19595 R + 38470 G + 7471 B, Y = c >> 16,
//   U = ((((65536 B - c + 32767) >> 16) * 32244) >> 16) + 128,
//   V = clamp(((((65536 R - c + 32767) >> 16) * 57475) >> 16) + 128);
//   R = clamp((65536 Y + 74710 v) >> 16), G = clamp((65536 Y - 25820 u - 38075 v) >> 16),
//   B = clamp((65536 Y + 133168 u) >> 16)   (u = U - 128, v = V - 128).
// Right shifts of negative values round toward minus infinity.
#include <algorithm>
#include <cstdint>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

// Rows are converted in runs of kRun pixels: the interleaved bytes are moved
// to (or from) separate component arrays with plain byte moves, and the
// arithmetic runs over contiguous arrays, where the compiler vectorises it.
// The arithmetic is regrouped into 16-bit lanes (eight per vector, with the
// processor's 16-bit high-half multiplication), giving exactly the values of
// the formulas above for every input.
constexpr int kRun = 128;

inline std::int16_t clampByte(std::int16_t v) {
    const std::int16_t atLeastZero = v > 0 ? v : 0;
    return atLeastZero < 255 ? atLeastZero : 255;
}

// floor(a * b / 65536): the high half of the 32-bit product.
inline std::int16_t highHalf(std::int16_t a, std::int16_t b) {
    return static_cast<std::int16_t>((static_cast<std::int32_t>(a) * b) >> 16);
}

// The low half of the product, as an unsigned 16-bit number.
inline std::uint16_t lowHalf(std::int16_t a, std::int16_t b) {
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(a) * static_cast<std::uint16_t>(b));
}

void RGBToYUVRow_px(const Vp8u* src, Vp8u* y, Vp8u* u, Vp8u* v, int width) {
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
            // c = 19595 R + 38470 G + 7471 B = 256 H + L, each weight split
            // into its high and low byte; H and L stay below 65536.
            const std::uint16_t H = static_cast<std::uint16_t>(76 * R[x] + 150 * G[x] + 29 * B[x]);
            const std::uint16_t L = static_cast<std::uint16_t>(139 * R[x] + 70 * G[x] + 47 * B[x]);
            // c >> 8 (at most 65280), so Y = c >> 16.
            const std::uint16_t c8 = static_cast<std::uint16_t>(H + (L >> 8));
            // (65536 B - c + 32767) >> 16 = B - ((c + 32768) >> 16).
            const std::int16_t yHalfUp = static_cast<std::int16_t>((c8 + 128) >> 8);
            const std::int16_t dB = static_cast<std::int16_t>(B[x] - yHalfUp);
            const std::int16_t dR = static_cast<std::int16_t>(R[x] - yHalfUp);
            yr[x] = static_cast<Vp8u>(c8 >> 8);
            ur[x] = static_cast<Vp8u>(highHalf(dB, 32244) + 128);  // always 16..239
            // (dR * 57475) >> 16 written as dR + ((dR * -8061) >> 16): the same
            // value (57475 = 65536 - 8061), with a factor that fits 16 bits.
            vr[x] = static_cast<Vp8u>(clampByte(static_cast<std::int16_t>(dR + highHalf(dR, -8061) + 128)));
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
            const std::int16_t Y = yr[x];
            const std::int16_t du = static_cast<std::int16_t>(ur[x] - 128);
            const std::int16_t dv = static_cast<std::int16_t>(vr[x] - 128);
            // 74710 = 65536 + 9174 and 133168 = 2 * 65536 + 2096: the whole
            // multiples of 65536 leave the shift as whole units.
            R[x] = static_cast<Vp8u>(clampByte(static_cast<std::int16_t>(Y + dv + highHalf(dv, 9174))));
            B[x] = static_cast<Vp8u>(clampByte(static_cast<std::int16_t>(Y + 2 * du + highHalf(du, 2096))));
            // -38075 = -65536 + 27461; the two remaining products are summed
            // as high halves plus the carry out of their low halves.
            const std::uint16_t lowU = lowHalf(du, -25820);
            const std::uint16_t lowSum = static_cast<std::uint16_t>(lowU + lowHalf(dv, 27461));
            const std::int16_t carry = lowSum < lowU ? 1 : 0;
            G[x] = static_cast<Vp8u>(clampByte(
                static_cast<std::int16_t>(Y - dv + highHalf(du, -25820) + highHalf(dv, 27461) + carry)));
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
