// px cubic row kernels and their pixel kernels: each destination pixel of the
// spans is the separable four-point Lagrange cubic of the 4x4 source
// neighbourhood around its inverse-mapped point, weights and sums in double.
#include <cstring>

#include "primitives/warp/warp_px.h"
#include "primitives/warp/warp_rows.h"

namespace {

// The doubles nearest to the polynomial coefficients.
constexpr double kSixth = 1.0 / 6.0;
constexpr double kMinusThird = -1.0 / 3.0;
constexpr double kHalf = 0.5;

// Lagrange weights of the nodes -1, 0, 1, 2 at the fraction f (a float widened
// to double), every operation in double, in this order:
//   w0 = ((-1/6*f)*f)*f + (1/2*f)*f, then + (-1/3)*f
//   w1 = ((1/2*f)*f)*f + 1, then - f*f, then + (-1/2)*f
//   w2 = (1/2*f)*f + ((-1/2*f)*f)*f, then + f
//   w3 = ((1/6*f)*f)*f + (-1/6)*f
// A product by -c is the negated product by c and x + (-y) is x - y, so the
// shared products are formed once without changing a single bit.
inline void cubicWeights(double f, double& w0, double& w1, double& w2, double& w3) {
    const double halfF = kHalf * f;               // 1/2*f; (-1/2)*f is its negation
    const double half2 = halfF * f;               // (1/2*f)*f
    const double half3 = half2 * f;               // ((1/2*f)*f)*f; ((-1/2*f)*f)*f is its negation
    const double sixthF = kSixth * f;             // 1/6*f; (-1/6)*f is its negation
    const double sixth3 = (sixthF * f) * f;       // ((1/6*f)*f)*f; with -1/6 its negation
    w0 = (half2 - sixth3) + kMinusThird * f;
    w1 = ((half3 + 1.0) - f * f) - halfF;
    w2 = (half2 - half3) + f;
    w3 = sixth3 - sixthF;
}

// The weights of the two fractions of one pixel, laid out lane by lane so that
// the compiler can compute both in one vector register.
inline void cubicWeightPair(float fx, float fy, double wx[4], double wy[4]) {
    const double f[2] = {fx, fy};
    double w[4][2];
    for (int l = 0; l < 2; ++l) cubicWeights(f[l], w[0][l], w[1][l], w[2][l], w[3][l]);
    for (int k = 0; k < 4; ++k) {
        wx[k] = w[k][0];
        wy[k] = w[k][1];
    }
}

// Weighted 4x4 sum of one channel: rows first, each row left to right, then the
// rows top to bottom.
template <typename T>
inline double cubicSum(const unsigned char* p, int srcStep, std::ptrdiff_t columnBytes, const double wx[4],
                       const double wy[4]) {
    double r[4];
    for (int row = 0; row < 4; ++row) {
        const unsigned char* q = p + static_cast<std::ptrdiff_t>(row) * srcStep;
        r[row] = ((warpSampleAt<T>(q) * wx[0] + warpSampleAt<T>(q + columnBytes) * wx[1]) +
                  warpSampleAt<T>(q + 2 * columnBytes) * wx[2]) +
                 warpSampleAt<T>(q + 3 * columnBytes) * wx[3];
    }
    return ((r[0] * wy[0] + r[1] * wy[1]) + r[2] * wy[2]) + r[3] * wy[3];
}

template <typename T>
inline void storeCubic(unsigned char* p, double v) {
    T out;
    if constexpr (sizeof(T) == 4) {
        out = static_cast<T>(v);
    } else {
        constexpr double kMax = sizeof(T) == 1 ? 255.0 : 65535.0;
        if (v > kMax)
            out = static_cast<T>(kMax);
        else if (!(v >= 0.0))  // negative or NaN
            out = 0;
        else
            out = static_cast<T>(static_cast<int>(v + 0.5));  // round half up
    }
    std::memcpy(p, &out, sizeof(T));
}

// One interleaved pixel; Stride and Channels of 0 take the run-time values.
template <typename T, int Stride, int Channels>
inline void cubicPixel(const unsigned char* pNbhd, int srcStep, int channelStride, unsigned char* pDstPixel,
                       int channels, float fx, float fy) {
    const int stride = Stride ? Stride : channelStride;
    const int count = Channels ? Channels : channels;
    double wx[4], wy[4];
    cubicWeightPair(fx, fy, wx, wy);
    const std::ptrdiff_t columnBytes = static_cast<std::ptrdiff_t>(stride) * sizeof(T);
    for (int k = 0; k < count; ++k) {
        const double v = cubicSum<T>(pNbhd + k * sizeof(T), srcStep, columnBytes, wx, wy);
        storeCubic<T>(pDstPixel + k * sizeof(T), v);
    }
}

template <typename T, typename RowPtr>
inline void cubicPlanarPixel(const void* const* pSrc, int srcStep, std::ptrdiff_t srcOffset, RowPtr const* pDstRows,
                             int dstX, int planes, float fx, float fy) {
    double wx[4], wy[4];
    cubicWeightPair(fx, fy, wx, wy);
    for (int k = 0; k < planes; ++k) {
        const unsigned char* p = static_cast<const unsigned char*>(pSrc[k]) + srcOffset;
        const double v = cubicSum<T>(p, srcStep, sizeof(T), wx, wy);
        storeCubic<T>(static_cast<unsigned char*>(pDstRows[k]) + static_cast<std::ptrdiff_t>(dstX) * sizeof(T), v);
    }
}

// First neighbourhood column (or row): the double sum v + 1e-7 truncated
// toward zero, minus one, clamped to 0 ... maxIndex - 3 so that the four
// columns stay inside the image. Clamping the sum to 1 ... maxIndex - 2 before
// the truncation gives the same column for every sum (a NaN one included,
// which takes column 0) and needs no branch; upper is maxIndex - 2. The two
// selects are written in the form of the processor's maximum and minimum.
inline int cubicFirst(double v, double upper) {
    double t = v + 1e-7;
    t = t > 1.0 ? t : 1.0;
    t = t < upper ? t : upper;
    return static_cast<int>(t) - 1;
}

// The fraction relative to the column after the first: (v - 1) - first in
// double, rounded to float.
inline float cubicFraction(double v, int first) { return static_cast<float>((v + (-1.0)) - first); }

inline int cubicPlace(double v, int maxIndex, float& frac) {
    const int first = cubicFirst(v, maxIndex - 2);
    frac = cubicFraction(v, first);
    return first;
}

// The results of a chunk's n pixels into out (pixel p at out + p*sizeof(T)),
// two pixels at a time, laid out lane by lane (index l) so that the two
// pixels share vector registers; sample(p, r, j) is the sample at row r,
// column j of pixel p's neighbourhood as a double, w[0] and w[1] the x and y
// weights of the chunk's pixels. Rows first, each left to right, then the
// rows top to bottom, one rounding at the store: every pixel by the same
// operations in the same order.
template <typename T, int kChunk, class Sample>
inline void cubicChunkSums(int n, const double (&w)[2][4][kChunk], unsigned char* out, Sample&& sample) {
    constexpr std::ptrdiff_t e = sizeof(T);
    int p = 0;
    for (; p + 1 < n; p += 2) {
        double rows[4][2];
#pragma GCC unroll 4
        for (int r = 0; r < 4; ++r) {
            double s[4][2];  // column, pixel
            for (int j = 0; j < 4; ++j)
                for (int l = 0; l < 2; ++l) s[j][l] = sample(p + l, r, j);
            for (int l = 0; l < 2; ++l)
                rows[r][l] = ((s[0][l] * w[0][0][p + l] + s[1][l] * w[0][1][p + l]) + s[2][l] * w[0][2][p + l]) +
                             s[3][l] * w[0][3][p + l];
        }
        double v[2];
        for (int l = 0; l < 2; ++l)
            v[l] = ((rows[0][l] * w[1][0][p + l] + rows[1][l] * w[1][1][p + l]) + rows[2][l] * w[1][2][p + l]) +
                   rows[3][l] * w[1][3][p + l];
        storeCubic<T>(out + p * e, v[0]);
        storeCubic<T>(out + (p + 1) * e, v[1]);
    }
    if (p < n) {  // the odd last pixel
        double rows[4];
        for (int r = 0; r < 4; ++r)
            rows[r] = ((sample(p, r, 0) * w[0][0][p] + sample(p, r, 1) * w[0][1][p]) + sample(p, r, 2) * w[0][2][p]) +
                      sample(p, r, 3) * w[0][3][p];
        const double v = ((rows[0] * w[1][0][p] + rows[1] * w[1][1][p]) + rows[2] * w[1][2][p]) + rows[3] * w[1][3][p];
        storeCubic<T>(out + p * e, v);
    }
}

// One span of a one-channel row, the engine's road, in chunks of pixels: the
// source points of the chunk one after the other (each the previous one plus
// (c0, c3), as the walk adds them), then the neighbourhoods and the weights of
// all its points in one loop the compiler can vectorize, then the sums two
// pixels at a time, laid out lane by lane (index l) so that the two pixels
// share vector registers. Every value is the one the pixel-by-pixel path
// computes, by the same operations in the same order.
template <typename T>
void cubicSpanOneChannel(const unsigned char* src, int srcStep, unsigned char* dstRow, WarpRowSpan span,
                         const WarpInverseCoeffs& c, int srcMaxX, int srcMaxY, double sx, double sy) {
    constexpr int kChunk = 64;
    constexpr int kWindow = 1024;  // doubles of converted samples (8 KB)
    constexpr std::ptrdiff_t e = sizeof(T);
    const double c0 = c.c0, c3 = c.c3;
    const double upperX = srcMaxX - 2, upperY = srcMaxY - 2;
    alignas(16) double point[2][kChunk];
    alignas(16) int first[2][kChunk];
    alignas(16) float f[2][kChunk];
    alignas(16) double w[2][4][kChunk];
    // When the source row does not move along the span (c3 zero, as under a
    // warp without rotation) every pixel has the row neighbourhood, fraction
    // and weights of the first: they are computed once for the span.
    const bool sameRows = c3 == 0.0;
    if (sameRows) {
        const int y0 = cubicFirst(sy, upperY);
        double wy[4];
        cubicWeights(cubicFraction(sy, y0), wy[0], wy[1], wy[2], wy[3]);
        for (int p = 0; p < kChunk; ++p) {
            first[1][p] = y0;
            for (int k = 0; k < 4; ++k) w[1][k][p] = wy[k];
        }
    }
    const int axes = sameRows ? 1 : 2;
    for (int x = span.xBegin; x <= span.xEnd; x += kChunk) {
        const int n = span.xEnd - x + 1 < kChunk ? span.xEnd - x + 1 : kChunk;
        for (int p = 0; p < n; ++p) {
            point[0][p] = sx;
            point[1][p] = sy;
            sx += c0;
            sy += c3;
        }
        // The loops below always run over the whole chunk.
        for (int p = n; p < kChunk; ++p) point[0][p] = point[1][p] = 0.0;
        for (int a = 0; a < axes; ++a) {
            const double upper = a == 0 ? upperX : upperY;
            for (int p = 0; p < kChunk; ++p) {
                first[a][p] = cubicFirst(point[a][p], upper);
                f[a][p] = cubicFraction(point[a][p], first[a][p]);
            }
        }
        for (int a = 0; a < axes; ++a)
            for (int p = 0; p < kChunk; ++p) cubicWeights(f[a][p], w[a][0][p], w[a][1][p], w[a][2][p], w[a][3][p]);
        unsigned char* out = dstRow + static_cast<std::ptrdiff_t>(x) * e;
        // The samples of the chunk's neighbourhoods come from a window of a
        // few source rows; when the window is small (it is for an enlarging
        // warp) it is converted to double once, so that the sums read doubles
        // instead of converting every sample sixteen times over. The values
        // are the same either way.
        int xLo = first[0][0], xHi = xLo, yLo = first[1][0], yHi = yLo;
        for (int p = 1; p < n; ++p) {
            xLo = first[0][p] < xLo ? first[0][p] : xLo;
            xHi = first[0][p] > xHi ? first[0][p] : xHi;
            yLo = first[1][p] < yLo ? first[1][p] : yLo;
            yHi = first[1][p] > yHi ? first[1][p] : yHi;
        }
        const int winW = xHi - xLo + 4, winH = yHi - yLo + 4;
        if (winW <= kWindow && winH <= kWindow && winW * winH <= kWindow) {
            alignas(16) double win[kWindow];
            for (int r = 0; r < winH; ++r) {
                const unsigned char* row = src + WarpOffset(yLo + r, srcStep, xLo, static_cast<int>(e));
                for (int j = 0; j < winW; ++j) win[r * winW + j] = warpSampleAt<T>(row + j * e);
            }
            int at[kChunk];
            for (int p = 0; p < n; ++p) at[p] = (first[1][p] - yLo) * winW + (first[0][p] - xLo);
            cubicChunkSums<T, kChunk>(n, w, out, [&](int p, int r, int j) { return win[at[p] + r * winW + j]; });
        } else {
            const unsigned char* nbhd[kChunk];
            for (int p = 0; p < n; ++p)
                nbhd[p] = src + WarpOffset(first[1][p], srcStep, first[0][p], static_cast<int>(e));
            cubicChunkSums<T, kChunk>(n, w, out, [&](int p, int r, int j) {
                return warpSampleAt<T>(nbhd[p] + static_cast<std::ptrdiff_t>(r) * srcStep + j * e);
            });
        }
    }
}

template <typename T, int Stride, int Channels, int Planes>
void warpCubicRows(const void* pSrc, void* pDst, int srcStep, int dstStep, int firstRow, int lastRow,
                   const WarpRowSpan* pSpans, const WarpInverseCoeffs* pCoeffs, int srcMaxX, int srcMaxY) {
    const WarpInverseCoeffs& c = *pCoeffs;
    if constexpr (!Planes && Stride == 1 && Channels == 1) {
        // One channel: whole spans at a time.
        const auto span = [&](unsigned char* const* dstRows, WarpRowSpan s, double sx, double sy) {
            cubicSpanOneChannel<T>(static_cast<const unsigned char*>(pSrc), srcStep, dstRows[0], s, c, srcMaxX,
                                   srcMaxY, sx, sy);
        };
        warpWalkSpans<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, c, span);
    } else {
        constexpr std::ptrdiff_t e = sizeof(T);
        constexpr std::ptrdiff_t kPixelBytes = Stride * e;
        const auto pixel = [&](unsigned char* const* dstRows, int x, double sx, double sy) {
            float fx, fy;
            const int x0 = cubicPlace(sx, srcMaxX, fx);
            const int y0 = cubicPlace(sy, srcMaxY, fy);
            if constexpr (Planes) {
                cubicPlanarPixel<T>(static_cast<const void* const*>(pSrc), srcStep,
                                    WarpOffset(y0, srcStep, x0, static_cast<int>(e)), dstRows, x, Planes, fx, fy);
            } else {
                const unsigned char* nbhd =
                    static_cast<const unsigned char*>(pSrc) + WarpOffset(y0, srcStep, x0, kPixelBytes);
                cubicPixel<T, Stride, Channels>(nbhd, srcStep, Stride, dstRows[0] + x * kPixelBytes, Channels, fx, fy);
            }
        };
        warpWalkPixels<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, c, pixel);
    }
}

}  // namespace

void WarpCubicPixelKernel_8u_px(const Vp8u* pNbhd, int srcStep, int channelStride, Vp8u* pDstPixel, int channels,
                                float fx, float fy) {
    cubicPixel<Vp8u, 0, 0>(pNbhd, srcStep, channelStride, pDstPixel, channels, fx, fy);
}

void WarpCubicPixelKernel_32f_px(const Vp32f* pNbhd, int srcStep, int channelStride, Vp32f* pDstPixel, int channels,
                                 float fx, float fy) {
    cubicPixel<Vp32f, 0, 0>(reinterpret_cast<const unsigned char*>(pNbhd), srcStep, channelStride,
                            reinterpret_cast<unsigned char*>(pDstPixel), channels, fx, fy);
}

void WarpCubicPixelKernel_16u_px(const Vp16u* pNbhd, int srcStep, int channelStride, Vp16u* pDstPixel, int channels,
                                 float fx, float fy) {
    cubicPixel<Vp16u, 0, 0>(reinterpret_cast<const unsigned char*>(pNbhd), srcStep, channelStride,
                            reinterpret_cast<unsigned char*>(pDstPixel), channels, fx, fy);
}

void WarpCubicPlanarKernel_8u_px(const void* const* pSrc, int srcStep, std::ptrdiff_t srcOffset,
                                 void* const* pDstRows, int dstX, int planes, float fx, float fy) {
    cubicPlanarPixel<Vp8u>(pSrc, srcStep, srcOffset, pDstRows, dstX, planes, fx, fy);
}

void WarpCubicPlanarKernel_32f_px(const void* const* pSrc, int srcStep, std::ptrdiff_t srcOffset,
                                  void* const* pDstRows, int dstX, int planes, float fx, float fy) {
    cubicPlanarPixel<Vp32f>(pSrc, srcStep, srcOffset, pDstRows, dstX, planes, fx, fy);
}

void WarpCubicPlanarKernel_16u_px(const void* const* pSrc, int srcStep, std::ptrdiff_t srcOffset,
                                  void* const* pDstRows, int dstX, int planes, float fx, float fy) {
    cubicPlanarPixel<Vp16u>(pSrc, srcStep, srcOffset, pDstRows, dstX, planes, fx, fy);
}

#define VP_WARP_DEFINE_CUBIC_PX(depthName, T, layoutName, code, stride, channels, planes)                 \
    void WarpCubic_##depthName##_##layoutName##_px(VP_WARP_ROW_KERNEL_PARAMS) {                           \
        (void)pBuffer;                                                                                    \
        warpCubicRows<T, stride, channels, planes>(pSrc, pDst, srcStep, dstStep, firstRow, lastRow, pSpans, \
                                                   pCoeffs, srcMaxX, srcMaxY);                            \
    }
VP_WARP_FORMATS(VP_WARP_DEFINE_CUBIC_PX)
#undef VP_WARP_DEFINE_CUBIC_PX
