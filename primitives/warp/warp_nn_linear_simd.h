// Nearest and linear row kernels of the SIMD levels, written once over a level
// policy that names the precision of the source points and their conversions:
//
//   struct Arith {
//       using Point = float or double;             // precision of the source points
//       static void walk(...);                     // warpWalkPixels or warpWalkPixelsSingle
//       static int nearest(Point);                 // to nearest, ties to even; INT_MIN for NaN
//       static int truncate(Point);                // toward zero; INT_MIN for NaN
//       static int q14(Point fraction);            // nearest(16384 * fraction) in Point precision
//       static constexpr bool kFloatRowsFirst;     // 32f one channel: rows first (else columns first)
//   };
//
// Include only from a level file (it uses <xmmintrin.h>, present at every SIMD
// level); everything here has internal linkage.
#pragma once

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/warp/warp_rows.h"

namespace {

// Float to int, to nearest with ties to even (the default rounding mode);
// NaN and values beyond the int range give INT_MIN.
inline int warpNearestFloat(float v) { return _mm_cvtss_si32(_mm_set_ss(v)); }
inline int warpTruncFloat(float v) { return _mm_cvttss_si32(_mm_set_ss(v)); }

inline int warpClampIndex(int i, int lo, int hi) { return i < lo ? lo : (i > hi ? hi : i); }

inline int warpSaturate16(std::int64_t v) {
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : static_cast<int>(v));
}

// A 32-bit sum as the processor forms it: wrapped modulo 2^32.
inline std::int32_t warpWrap32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

template <typename T>
inline float warpSampleFloat(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return static_cast<float>(v);
}

template <typename T>
inline void warpStore(unsigned char* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

// ---- nearest neighbour ----

// Every destination pixel copies the source pixel whose index is the point
// rounded to nearest (ties to even), clamped into the image so that points no
// span produces (far outside, NaN) never lead a read outside it.
template <class Arith, typename T, int Stride, int Channels, int Planes>
void warpNNRowsSimd(const void* pSrc, void* pDst, int srcStep, int dstStep, int firstRow, int lastRow,
                    const WarpRowSpan* pSpans, const WarpInverseCoeffs* pCoeffs, int srcMaxX, int srcMaxY) {
    const WarpPlanePointers<Planes, const unsigned char> src(pSrc);
    constexpr int kPixelBytes = Stride * static_cast<int>(sizeof(T));
    const auto pixel = [&](unsigned char* const* dstRows, int x, typename Arith::Point sx,
                           typename Arith::Point sy) {
        const int ix = warpClampIndex(Arith::nearest(sx), 0, srcMaxX);
        const int iy = warpClampIndex(Arith::nearest(sy), 0, srcMaxY);
        const std::ptrdiff_t srcOffset = WarpOffset(iy, srcStep, ix, kPixelBytes);
        const std::ptrdiff_t dstOffset = static_cast<std::ptrdiff_t>(x) * kPixelBytes;
        for (int k = 0; k < src.kCount; ++k)
            std::memcpy(dstRows[k] + dstOffset, src.at[k] + srcOffset, Channels * sizeof(T));
    };
    Arith::template walk<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, *pCoeffs, pixel);
}

// ---- linear ----

// The 2x2 samples of one channel and the point's fractions within the cell.
struct WarpLinearCell {
    float p00, p01, p10, p11;
};

// Difference form: every difference, product and sum rounded to float.
inline float warpLinearDifference(const WarpLinearCell& s, float fx, float fy) {
    const float top = s.p00 + fx * (s.p01 - s.p00);
    const float bottom = s.p10 + fx * (s.p11 - s.p10);
    return top + fy * (bottom - top);
}

// Weight forms: rows first (top and bottom, then between them) or columns
// first (left and right, then between them).
inline float warpLinearRowsFirst(const WarpLinearCell& s, float fx, float fy) {
    const float gx = 1.0f - fx, gy = 1.0f - fy;
    const float top = s.p00 * gx + s.p01 * fx;
    const float bottom = s.p10 * gx + s.p11 * fx;
    return top * gy + bottom * fy;
}

inline float warpLinearColumnsFirst(const WarpLinearCell& s, float fx, float fy) {
    const float gx = 1.0f - fx, gy = 1.0f - fy;
    const float left = s.p00 * gy + s.p10 * fy;
    const float right = s.p01 * gy + s.p11 * fy;
    return left * gx + right * fx;
}

// 8-bit fixed point: Q14 weights (and their complements) held as saturated
// 16-bit values; the rows' sums shifted by 8 and saturated to 16 bits, the
// final sum rounded by + 2^19 and shifted by 20.
inline std::int32_t warpLinearFixed(const int p[4], int wx, int wy) {
    const int cx = warpSaturate16(16384 - wx), cy = warpSaturate16(16384 - wy);
    const auto pair = [](std::int64_t a, int wa, std::int64_t b, int wb) { return warpWrap32(a * wa + b * wb); };
    const int h0 = warpSaturate16(pair(p[0], cx, p[1], wx) >> 8);
    const int h1 = warpSaturate16(pair(p[2], cx, p[3], wx) >> 8);
    const std::int32_t sum = warpWrap32(static_cast<std::int64_t>(pair(h0, cy, h1, wy)) + 524288);
    return sum >> 20;
}

// Cell along one axis: the point truncated toward zero, kept within
// 0 .. maxIndex - 1 (the last column uses the cell before it with a fraction of
// 1; points no span produces are clamped so that nothing outside is read).
inline int warpLinearCell(int truncated, int maxIndex) { return warpClampIndex(truncated, 0, maxIndex - 1); }

template <class Arith, typename T, int Stride, int Channels, int Planes>
void warpLinearRowsSimd(const void* pSrc, void* pDst, int srcStep, int dstStep, int firstRow, int lastRow,
                        const WarpRowSpan* pSpans, const WarpInverseCoeffs* pCoeffs, int srcMaxX, int srcMaxY) {
    using Point = typename Arith::Point;
    const WarpPlanePointers<Planes, const unsigned char> src(pSrc);
    constexpr int e = static_cast<int>(sizeof(T));
    constexpr int kPixelBytes = Stride * e;
    constexpr bool kOneChannel = Stride == 1 && Channels == 1 && Planes == 0;
    const auto pixel = [&](unsigned char* const* dstRows, int x, Point sx, Point sy) {
        const int ix = warpLinearCell(Arith::truncate(sx), srcMaxX);
        const int iy = warpLinearCell(Arith::truncate(sy), srcMaxY);
        const Point fx = sx - static_cast<Point>(ix);
        const Point fy = sy - static_cast<Point>(iy);
        const float ffx = static_cast<float>(fx), ffy = static_cast<float>(fy);
        const std::ptrdiff_t offset = WarpOffset(iy, srcStep, ix, kPixelBytes);
        const std::ptrdiff_t dstOffset = static_cast<std::ptrdiff_t>(x) * kPixelBytes;
        int wx = 0, wy = 0;
        if constexpr (sizeof(T) == 1) {
            wx = warpSaturate16(Arith::q14(fx));
            wy = warpSaturate16(Arith::q14(fy));
        }
        for (int k = 0; k < src.kCount; ++k) {
            for (int ch = 0; ch < Channels; ++ch) {
                const unsigned char* p = src.at[k] + offset + ch * e;
                unsigned char* out = dstRows[k] + dstOffset + ch * e;
                if constexpr (sizeof(T) == 1) {
                    const int q[4] = {p[0], p[kPixelBytes], p[srcStep], p[srcStep + kPixelBytes]};
                    const std::int32_t r = warpLinearFixed(q, wx, wy);
                    // Four channels saturate; the others keep the low 8 bits.
                    const int stored = Stride == 4 && Channels == 4 ? warpClampIndex(r, 0, 255) : (r & 0xFF);
                    *out = static_cast<unsigned char>(stored);
                } else {
                    const WarpLinearCell s{warpSampleFloat<T>(p), warpSampleFloat<T>(p + kPixelBytes),
                                           warpSampleFloat<T>(p + srcStep),
                                           warpSampleFloat<T>(p + srcStep + kPixelBytes)};
                    float v;
                    if constexpr (kOneChannel && sizeof(T) == 4)
                        v = Arith::kFloatRowsFirst ? warpLinearRowsFirst(s, ffx, ffy)
                                                   : warpLinearColumnsFirst(s, ffx, ffy);
                    else if constexpr (kOneChannel)
                        v = warpLinearColumnsFirst(s, ffx, ffy);
                    else
                        v = warpLinearDifference(s, ffx, ffy);
                    if constexpr (sizeof(T) == 4)
                        warpStore<T>(out, v);
                    else  // to nearest, the low 16 bits
                        warpStore<T>(out, static_cast<T>(static_cast<unsigned>(warpNearestFloat(v)) & 0xFFFFu));
                }
            }
        }
    };
    Arith::template walk<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, *pCoeffs, pixel);
}

}  // namespace

// Defines the nearest and linear row kernels of one level with the policy Arith.
#define VP_WARP_DEFINE_NN_LINEAR_SIMD(Arith, level, depthName, T, layoutName, stride, channels, planes)         \
    void WarpNN_##depthName##_##layoutName##_##level(VP_WARP_ROW_KERNEL_PARAMS) {                              \
        (void)pBuffer;                                                                                       \
        warpNNRowsSimd<Arith, T, stride, channels, planes>(pSrc, pDst, srcStep, dstStep, firstRow, lastRow,    \
                                                           pSpans, pCoeffs, srcMaxX, srcMaxY);                 \
    }                                                                                                        \
    void WarpLinear_##depthName##_##layoutName##_##level(VP_WARP_ROW_KERNEL_PARAMS) {                          \
        (void)pBuffer;                                                                                       \
        warpLinearRowsSimd<Arith, T, stride, channels, planes>(pSrc, pDst, srcStep, dstStep, firstRow,         \
                                                               lastRow, pSpans, pCoeffs, srcMaxX, srcMaxY);    \
    }
