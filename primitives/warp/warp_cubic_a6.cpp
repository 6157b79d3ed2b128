// Cubic row kernels and pixel kernels of the SIMD levels, one set that serves
// a6, w7 and t7 (they compute the same results; only MMX and SSE are used).
//
// A row kernel writes the source points of a span as floats into the scratch
// row (x first, then y), then hands the whole span to its pixel kernel, which
// places every point itself: a point more than a pixel outside the image is
// skipped, the others take the 4x4 neighbourhood one column and row before
// their cell, shifted inwards at the image's edges. 32f and 16u interpolate in
// float with the weights as cubic polynomials of the fraction; 8u in 16-bit
// fixed point with the weights looked up by the offset in steps of 1/512.
#include <xmmintrin.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "primitives/warp/warp_nn_linear_simd.h"
#include "primitives/warp/warp_simd.h"

namespace {

// ---- the Q14 weight table ----

// n / d rounded to nearest for d > 0 (no value of the table lies halfway).
constexpr long long roundedQuotient(long long n, long long d) {
    long long q = n / d;
    const long long r = n % d;
    if (2 * r >= d) ++q;
    if (2 * r <= -d) --q;
    return q;
}

// With n = i - 512 the fraction is t = n/512, and
//   16384 * w0(t) = -n(n - 512)(n - 1024) / 49152
//   16384 * w1(t) = (n + 512)(n - 512)(n - 1024) / 16384,
// evaluated exactly in integers before the one rounding.
constexpr std::array<WarpCubicWeightPair, kWarpCubicWeightCount> cubicWeightTable() {
    std::array<WarpCubicWeightPair, kWarpCubicWeightCount> table{};
    for (int i = 0; i < kWarpCubicWeightCount; ++i) {
        const long long n = i - 512;
        table[i].a = static_cast<short>(roundedQuotient(-n * (n - 512) * (n - 1024), 49152));
        table[i].b = static_cast<short>(roundedQuotient((n + 512) * (n - 512) * (n - 1024), 16384));
    }
    return table;
}

}  // namespace

const std::array<WarpCubicWeightPair, kWarpCubicWeightCount> WarpCubicWeightTable_a6 = cubicWeightTable();

namespace {

// ---- placement ----

struct CubicLimits {
    float lowX, lowY, highX, highY;
    int maxX, maxY;
    CubicLimits(WarpIntPair low, WarpIntPair high, WarpIntPair maxIndex)
        : lowX(static_cast<float>(low.x)), lowY(static_cast<float>(low.y)), highX(static_cast<float>(high.x)),
          highY(static_cast<float>(high.y)), maxX(maxIndex.x), maxY(maxIndex.y) {}
};

// First neighbourhood column: the point truncated toward zero, minus one,
// within 0 .. maxIndex - 3. (A point at exactly -1 truncates to -1 and keeps
// column 0 instead of reading before the image.)
inline int cubicFirst(float v, int maxIndex) {
    int first = warpTruncFloat(v);
    if (first > maxIndex - 2) first = maxIndex - 2;
    if (first > 0) --first;
    return first < 0 ? 0 : first;
}

// A point placed: its neighbourhood's first column and row, and its offsets
// from them (in [0, 3] inside the image).
struct CubicPlacement {
    int x0, y0;
    float dx, dy;
};

// Calls work(i, placement) for every point of the span that is not skipped:
// points beyond one pixel outside the image and points with a NaN coordinate
// leave their pixel untouched.
template <class Work>
inline void forEachPlacedPoint(const float* pXs, const float* pYs, int count, const CubicLimits& lim, Work&& work) {
    for (int i = 0; i < count; ++i) {
        const float x = pXs[i], y = pYs[i];
        if (!(x >= lim.lowX && y >= lim.lowY && x <= lim.highX && y <= lim.highY)) continue;
        CubicPlacement p;
        p.x0 = cubicFirst(x, lim.maxX);
        p.y0 = cubicFirst(y, lim.maxY);
        p.dx = x - static_cast<float>(p.x0);
        p.dy = y - static_cast<float>(p.y0);
        work(i, p);
    }
}

// ---- float design (32f and 16u) ----

// Weight k = (f^3 * C3k + f^2 * C2k) + (f * C1k + C0k) for the four nodes at
// once, every product and sum rounded to float.
inline __m128 cubicWeightsFloat(float f) {
    const __m128 c3 = _mm_setr_ps(static_cast<float>(-1.0 / 6.0), 0.5f, -0.5f, static_cast<float>(1.0 / 6.0));
    const __m128 c2 = _mm_setr_ps(0.5f, -1.0f, 0.5f, 0.0f);
    const __m128 c1 = _mm_setr_ps(static_cast<float>(-1.0 / 3.0), -0.5f, 1.0f, static_cast<float>(-1.0 / 6.0));
    const __m128 c0 = _mm_setr_ps(0.0f, 1.0f, 0.0f, 0.0f);
    const float f2 = f * f;
    const float f3 = f * f2;
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(f3), c3), _mm_mul_ps(_mm_set1_ps(f2), c2)),
                      _mm_add_ps(_mm_mul_ps(_mm_set1_ps(f), c1), c0));
}

// Four samples of one source row, columns 0..3 of the neighbourhood, as floats.
template <typename T, bool Contiguous>
inline __m128 cubicRowFloat(const unsigned char* p, std::ptrdiff_t columnBytes) {
    if constexpr (Contiguous && sizeof(T) == 4) {
        return _mm_loadu_ps(reinterpret_cast<const float*>(p));
    } else {
        return _mm_setr_ps(warpSampleFloat<T>(p), warpSampleFloat<T>(p + columnBytes),
                           warpSampleFloat<T>(p + 2 * columnBytes), warpSampleFloat<T>(p + 3 * columnBytes));
    }
}

// The weighted 4x4 sum of one channel whose sample (x0, y0) is at p:
// R_r = (s[r][0]*wx0 + s[r][1]*wx1) + (s[r][2]*wx2 + s[r][3]*wx3), each column
// of the four rows as one vector; then (R0*wy0 + R2*wy2) + (R1*wy1 + R3*wy3).
template <typename T, bool Contiguous>
inline float cubicSumFloat(const unsigned char* p, int srcStep, std::ptrdiff_t columnBytes, __m128 wx, __m128 wy) {
    __m128 col0 = cubicRowFloat<T, Contiguous>(p, columnBytes);
    __m128 col1 = cubicRowFloat<T, Contiguous>(p + srcStep, columnBytes);
    __m128 col2 = cubicRowFloat<T, Contiguous>(p + 2 * static_cast<std::ptrdiff_t>(srcStep), columnBytes);
    __m128 col3 = cubicRowFloat<T, Contiguous>(p + 3 * static_cast<std::ptrdiff_t>(srcStep), columnBytes);
    _MM_TRANSPOSE4_PS(col0, col1, col2, col3);
    const __m128 rows = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(col0, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(0, 0, 0, 0))),
                   _mm_mul_ps(col1, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(1, 1, 1, 1)))),
        _mm_add_ps(_mm_mul_ps(col2, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(2, 2, 2, 2))),
                   _mm_mul_ps(col3, _mm_shuffle_ps(wx, wx, _MM_SHUFFLE(3, 3, 3, 3)))));
    const __m128 products = _mm_mul_ps(rows, wy);
    const __m128 pairs = _mm_add_ps(products, _mm_movehl_ps(products, products));  // (P0 + P2, P1 + P3)
    return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(1, 1, 1, 1))));
}

// 32f stores the sum; 16u rounds it to nearest (ties to even) and clamps it,
// NaN and values beyond the int range storing 0.
template <typename T>
inline void cubicStoreFloat(unsigned char* p, float v) {
    if constexpr (sizeof(T) == 4) {
        warpStore<T>(p, v);
    } else {
        warpStore<T>(p, static_cast<T>(warpClampIndex(warpNearestFloat(v), 0, 65535)));
    }
}

// Interleaved pixels: channels 0 .. channels-1 of each pixel, stride samples
// per pixel.
template <typename T, bool Contiguous>
void cubicInterleavedFloat(const unsigned char* src, int srcStep, unsigned char* dst, const float* pXs,
                           const float* pYs, int count, const CubicLimits& lim, int stride, int channels) {
    constexpr std::ptrdiff_t e = sizeof(T);
    const std::ptrdiff_t pixelBytes = stride * e;
    forEachPlacedPoint(pXs, pYs, count, lim, [&](int i, const CubicPlacement& p) {
        const __m128 wx = cubicWeightsFloat(p.dx - 1.0f);
        const __m128 wy = cubicWeightsFloat(p.dy - 1.0f);
        const unsigned char* nbhd = src + WarpOffset(p.y0, srcStep, p.x0, static_cast<int>(pixelBytes));
        unsigned char* out = dst + i * pixelBytes;
        for (int k = 0; k < channels; ++k)
            cubicStoreFloat<T>(out + k * e, cubicSumFloat<T, Contiguous>(nbhd + k * e, srcStep, pixelBytes, wx, wy));
    });
}

template <typename T>
void cubicPlanarFloat(const void* const* pSrc, int srcStep, void* const* pDstPtrs, const float* pXs,
                      const float* pYs, int count, const CubicLimits& lim, int planes) {
    constexpr std::ptrdiff_t e = sizeof(T);
    forEachPlacedPoint(pXs, pYs, count, lim, [&](int i, const CubicPlacement& p) {
        const __m128 wx = cubicWeightsFloat(p.dx - 1.0f);
        const __m128 wy = cubicWeightsFloat(p.dy - 1.0f);
        const std::ptrdiff_t offset = WarpOffset(p.y0, srcStep, p.x0, static_cast<int>(e));
        for (int k = 0; k < planes; ++k) {
            const unsigned char* nbhd = static_cast<const unsigned char*>(pSrc[k]) + offset;
            cubicStoreFloat<T>(static_cast<unsigned char*>(pDstPtrs[k]) + i * e,
                               cubicSumFloat<T, false>(nbhd, srcStep, e, wx, wy));
        }
    });
}

template <typename T>
void cubicPixelKernelFloat(const T* pSrc, int srcStep, T* pDstPixel, const float* pXs, const float* pYs, int count,
                           WarpIntPair lowLimit, WarpIntPair highLimit, WarpIntPair maxIndex, int channelStride,
                           int channels) {
    if (count <= 0 || channels <= 0) return;
    const CubicLimits lim(lowLimit, highLimit, maxIndex);
    const unsigned char* src = reinterpret_cast<const unsigned char*>(pSrc);
    unsigned char* dst = reinterpret_cast<unsigned char*>(pDstPixel);
    if (channelStride == 1)
        cubicInterleavedFloat<T, true>(src, srcStep, dst, pXs, pYs, count, lim, 1, channels);
    else
        cubicInterleavedFloat<T, false>(src, srcStep, dst, pXs, pYs, count, lim, channelStride, channels);
}

// ---- fixed-point design (8u) ----

// Q14 weights of the four nodes at a table index.
inline void cubicWeightsFixed(int index, int w[4]) {
    w[0] = WarpCubicWeightTable_a6[index].a;
    w[1] = WarpCubicWeightTable_a6[index].b;
    w[2] = WarpCubicWeightTable_a6[kWarpCubicWeightCount - 1 - index].b;
    w[3] = WarpCubicWeightTable_a6[kWarpCubicWeightCount - 1 - index].a;
}

// Table index of an offset: dx * 512 to nearest (ties to even), kept within the
// table for the points between the image's edge and one pixel beyond it.
inline int cubicIndex(float d) { return warpClampIndex(warpNearestFloat(d * 512.0f), 0, kWarpCubicWeightCount - 1); }

// One channel: rows weighted and shifted by 8 (a floor division by 256), held
// as 16-bit values; their weighted sum rounded by + 2^19, shifted by 20 and
// clamped to 0..255.
inline Vp8u cubicSumFixed(const unsigned char* p, int srcStep, std::ptrdiff_t columnBytes, const int wx[4],
                          const int wy[4]) {
    std::int64_t sum = 524288;
    for (int r = 0; r < 4; ++r) {
        const unsigned char* q = p + static_cast<std::ptrdiff_t>(r) * srcStep;
        const std::int64_t row = static_cast<std::int64_t>(q[0]) * wx[0] + q[columnBytes] * wx[1] +
                                 q[2 * columnBytes] * wx[2] + q[3 * columnBytes] * wx[3];
        sum += static_cast<std::int64_t>(warpSaturate16(warpWrap32(row) >> 8)) * wy[r];
    }
    return static_cast<Vp8u>(warpClampIndex(warpWrap32(sum) >> 20, 0, 255));
}

// Stride samples per pixel, Channels of them interpolated; Planes > 0 for the
// planar layouts (pSrc and pDst then are plane arrays, one sample per pixel).
template <int Stride, int Channels, int Planes>
void cubicFixed8u(const void* pSrc, int srcStep, void* pDst, const float* pXs, const float* pYs, int count,
                  WarpIntPair lowLimit, WarpIntPair highLimit, WarpIntPair maxIndex) {
    if (count <= 0) return;
    const CubicLimits lim(lowLimit, highLimit, maxIndex);
    const WarpPlanePointers<Planes, const unsigned char> src(pSrc);
    const WarpPlanePointers<Planes, unsigned char> dst(pDst);
    forEachPlacedPoint(pXs, pYs, count, lim, [&](int i, const CubicPlacement& p) {
        int wx[4], wy[4];
        cubicWeightsFixed(cubicIndex(p.dx), wx);
        cubicWeightsFixed(cubicIndex(p.dy), wy);
        const std::ptrdiff_t offset = WarpOffset(p.y0, srcStep, p.x0, Stride);
        for (int k = 0; k < src.kCount; ++k)
            for (int ch = 0; ch < Channels; ++ch)
                dst.at[k][static_cast<std::ptrdiff_t>(i) * Stride + ch] =
                    cubicSumFixed(src.at[k] + offset + ch, srcStep, Stride, wx, wy);
    });
}

// ---- row kernels ----

// The source points of every span, from the same double recurrence as px,
// rounded to float into the scratch row (x, then y); then span(dstRows, span,
// xs, ys, count) interpolates them.
template <int Planes, class SpanKernel>
void cubicRowsSimd(void* pDst, int dstStep, int firstRow, int lastRow, const WarpRowSpan* pSpans,
                   const WarpInverseCoeffs* pCoeffs, void* pBuffer, SpanKernel&& span) {
    if (!pBuffer) return;
    float* xs = static_cast<float*>(pBuffer);
    const WarpInverseCoeffs& c = *pCoeffs;
    warpWalkSpans<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, c,
                          [&](unsigned char* const* dstRows, WarpRowSpan s, double sx, double sy) {
                              const int count = s.xEnd - s.xBegin + 1;
                              float* ys = xs + count;
                              for (int j = 0; j < count; ++j) {
                                  xs[j] = static_cast<float>(sx);
                                  ys[j] = static_cast<float>(sy);
                                  sx += c.c0;
                                  sy += c.c3;
                              }
                              span(dstRows, s.xBegin, xs, ys, count);
                          });
}

// The row kernel of one depth and layout over its pixel kernel.
template <typename T, int Stride, int Channels, int Planes>
void cubicRowKernel(const void* pSrc, void* pDst, int srcStep, int dstStep, int firstRow, int lastRow,
                    const WarpRowSpan* pSpans, const WarpInverseCoeffs* pCoeffs, int srcMaxX, int srcMaxY,
                    void* pBuffer) {
    constexpr std::ptrdiff_t e = sizeof(T);
    const WarpIntPair low{-1, -1}, high{srcMaxX + 1, srcMaxY + 1}, maxIndex{srcMaxX, srcMaxY};
    const auto span = [&](unsigned char* const* dstRows, int xBegin, const float* xs, const float* ys, int count) {
        void* rows[4];
        for (int k = 0; k < (Planes ? Planes : 1); ++k) rows[k] = dstRows[k] + xBegin * Stride * e;
        if constexpr (sizeof(T) == 1) {
            void* dst = Planes ? static_cast<void*>(rows) : rows[0];
            cubicFixed8u<Stride, Channels, Planes>(pSrc, srcStep, dst, xs, ys, count, low, high, maxIndex);
        } else if constexpr (Planes) {
            cubicPlanarFloat<T>(static_cast<const void* const*>(pSrc), srcStep, rows, xs, ys, count,
                                CubicLimits(low, high, maxIndex), Planes);
        } else {
            cubicPixelKernelFloat<T>(static_cast<const T*>(pSrc), srcStep, static_cast<T*>(rows[0]), xs, ys, count,
                                     low, high, maxIndex, Stride, Channels);
        }
    };
    cubicRowsSimd<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, pCoeffs, pBuffer, span);
}

}  // namespace

void WarpCubicPixelKernel_32f_a6(const Vp32f* pSrc, int srcStep, Vp32f* pDstPixel, const float* pXs, const float* pYs,
                                 int count, WarpIntPair lowLimit, WarpIntPair highLimit, WarpIntPair maxIndex,
                                 int channelStride, int channels) {
    cubicPixelKernelFloat<Vp32f>(pSrc, srcStep, pDstPixel, pXs, pYs, count, lowLimit, highLimit, maxIndex,
                                 channelStride, channels);
}

void WarpCubicPixelKernel_16u_a6(const Vp16u* pSrc, int srcStep, Vp16u* pDstPixel, const float* pXs, const float* pYs,
                                 int count, WarpIntPair lowLimit, WarpIntPair highLimit, WarpIntPair maxIndex,
                                 int channelStride, int channels) {
    cubicPixelKernelFloat<Vp16u>(pSrc, srcStep, pDstPixel, pXs, pYs, count, lowLimit, highLimit, maxIndex,
                                 channelStride, channels);
}

void WarpCubicPlanarKernel_32f_a6(const void* const* pSrc, int srcStep, void* const* pDstPtrs, const float* pXs,
                                  const float* pYs, int count, WarpIntPair lowLimit, WarpIntPair highLimit,
                                  WarpIntPair maxIndex, int planes) {
    if (count <= 0 || planes <= 0) return;
    cubicPlanarFloat<Vp32f>(pSrc, srcStep, pDstPtrs, pXs, pYs, count, CubicLimits(lowLimit, highLimit, maxIndex),
                            planes);
}

void WarpCubicPlanarKernel_16u_a6(const void* const* pSrc, int srcStep, void* const* pDstPtrs, const float* pXs,
                                  const float* pYs, int count, WarpIntPair lowLimit, WarpIntPair highLimit,
                                  WarpIntPair maxIndex, int planes) {
    if (count <= 0 || planes <= 0) return;
    cubicPlanarFloat<Vp16u>(pSrc, srcStep, pDstPtrs, pXs, pYs, count, CubicLimits(lowLimit, highLimit, maxIndex),
                            planes);
}

#define VP_WARP_CUBIC_8U(name, stride, channels, planes)                                                   \
    void name(VP_WARP_CUBIC_8U_KERNEL_PARAMS) {                                                             \
        cubicFixed8u<stride, channels, planes>(pSrc, srcStep, pDst, pXs, pYs, count, lowLimit, highLimit, \
                                               maxIndex);                                                 \
    }
VP_WARP_CUBIC_8U(WarpCubicPixelKernel_8u_C1_a6, 1, 1, 0)
VP_WARP_CUBIC_8U(WarpCubicPixelKernel_8u_C3_a6, 3, 3, 0)
VP_WARP_CUBIC_8U(WarpCubicPixelKernel_8u_AC4_a6, 4, 3, 0)
VP_WARP_CUBIC_8U(WarpCubicPixelKernel_8u_C4_a6, 4, 4, 0)
VP_WARP_CUBIC_8U(WarpCubicPlanarKernel_8u_P3_a6, 1, 1, 3)
VP_WARP_CUBIC_8U(WarpCubicPlanarKernel_8u_P4_a6, 1, 1, 4)
#undef VP_WARP_CUBIC_8U

#define VP_WARP_DEFINE_CUBIC_A6(depthName, T, layoutName, code, stride, channels, planes)                  \
    void WarpCubic_##depthName##_##layoutName##_a6(VP_WARP_ROW_KERNEL_PARAMS) {                            \
        cubicRowKernel<T, stride, channels, planes>(pSrc, pDst, srcStep, dstStep, firstRow, lastRow, pSpans, \
                                                    pCoeffs, srcMaxX, srcMaxY, pBuffer);                   \
    }
VP_WARP_FORMATS(VP_WARP_DEFINE_CUBIC_A6)
#undef VP_WARP_DEFINE_CUBIC_A6
