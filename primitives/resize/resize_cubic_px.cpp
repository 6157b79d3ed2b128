// Cubic resize row drivers, plain code. Each source row that a destination row
// needs is resampled horizontally once into a ring of four float rows; each
// destination row blends the four ring rows of source rows base-1 .. base+2.
//
// The cubic through samples a, b, c, d at -1, 0, 1, 2 is evaluated at t in
// Newton's forward-difference form from -1:
//   p = 1 + t, m = (p*t)*0.5, n = ((t-1)*m)*K with K the float nearest 1/3,
//   value = ((a + n*D3) + m*D2) + p*D1.
// px evaluates in double precision; a horizontal pass rounds its value to float
// in the ring, a vertical pass rounds n to float before use.
#include <bit>
#include <cstddef>
#include <cstdint>

#include "primitives/resize/resize_cubic_rows.h"
#include "primitives/resize/resize_px.h"

namespace {

// One third as the float with bits 0x3EAAAAAB (0.3333333433), widened exactly.
const double kThird = static_cast<double>(std::bit_cast<float>(std::uint32_t{0x3EAAAAABu}));

struct CubicFactors {
    double p;
    double m;
    double n;
};

inline CubicFactors horizontalFactors(double t) {
    const double p = 1.0 + t;
    const double m = (p * t) * 0.5;
    const double n = ((t - 1.0) * m) * kThird;
    return {p, m, n};
}

inline CubicFactors verticalFactors(double t) {
    CubicFactors f = horizontalFactors(t);
    f.n = static_cast<float>(f.n);
    return f;
}

inline double cubicH(const CubicFactors& f, double a, double b, double c, double d) {
    const double d1 = b - a;
    const double d2 = (c - b) - d1;
    const double d3 = ((b - (c + c)) + d) - d2;
    return ((a + f.n * d3) + f.m * d2) + f.p * d1;
}

inline double cubicV(const CubicFactors& f, double a, double b, double c, double d) {
    const double d1 = b - a;
    const double d2 = (c - b) - d1;
    const double d3 = (((d - c) - c) + b) - d2;
    return ((a + f.n * d3) + f.m * d2) + f.p * d1;
}

// Conversion of a vertical result to 8u or 16u: truncate v + 1e-7 toward zero
// and clamp to the element range. Written without branches so that blocks of
// values convert together; the results of finite integer samples are never NaN.
template <class T, int Max>
inline int toIntegerValue(double v) {
    double x = v + 1e-7;
    x = x < 0.0 ? 0.0 : x;
    x = x > static_cast<double>(Max) ? static_cast<double>(Max) : x;
    return static_cast<int>(x);
}

// A vertical result on its way to the destination type: the integer value for
// 8u and 16u, the float for 32f.
inline int converted(double v, Vp8u*) { return toIntegerValue<Vp8u, 255>(v); }
inline int converted(double v, Vp16u*) { return toIntegerValue<Vp16u, 65535>(v); }
inline float converted(double v, Vp32f*) { return static_cast<float>(v); }

template <class T>
using ConvertedType = decltype(converted(0.0, static_cast<T*>(nullptr)));

template <class T>
inline void store(T* out, double v) {
    *out = static_cast<T>(converted(v, static_cast<T*>(nullptr)));
}

// Values handled per block: the samples of a block are gathered into local
// arrays first, so that the arithmetic runs over contiguous data. The results
// are those of the value-by-value loop.
constexpr int kBlock = 8;

// ---- horizontal passes ------------------------------------------------------

template <class T>
void cubicH1(const T* srcRow, int width, const int* colOffsets, const float* colWeights, float* ringRow) {
    int j = 0;
    for (; j + kBlock <= width; j += kBlock) {
        double a[kBlock], b[kBlock], c[kBlock], d[kBlock], t[kBlock];
        for (int k = 0; k < kBlock; ++k) {
            const T* s = srcRow + colOffsets[j + k];
            a[k] = s[-1];
            b[k] = s[0];
            c[k] = s[1];
            d[k] = s[2];
            t[k] = colWeights[j + k];
        }
        for (int k = 0; k < kBlock; ++k) {
            ringRow[j + k] = static_cast<float>(cubicH(horizontalFactors(t[k]), a[k], b[k], c[k], d[k]));
        }
    }
    for (; j < width; ++j) {
        const T* s = srcRow + colOffsets[j];
        ringRow[j] = static_cast<float>(cubicH(horizontalFactors(colWeights[j]), s[-1], s[0], s[1], s[2]));
    }
}

// K channels per pixel, samples `stride` elements apart.
template <class T, int K>
void cubicHK(const T* srcRow, int width, int stride, const int* colOffsets, const float* colWeights,
             float* ringRow) {
    constexpr int kPixels = 4;
    constexpr int kValues = kPixels * K;
    int j = 0;
    for (; j + kPixels <= width; j += kPixels) {
        double a[kValues], b[kValues], c[kValues], d[kValues], t[kValues];
        for (int q = 0; q < kPixels; ++q) {
            const T* s = srcRow + colOffsets[j + q];
            const double tq = colWeights[j + q];
            for (int k = 0; k < K; ++k) {
                a[q * K + k] = s[k - stride];
                b[q * K + k] = s[k];
                c[q * K + k] = s[k + stride];
                d[q * K + k] = s[k + 2 * stride];
                t[q * K + k] = tq;
            }
        }
        float* out = ringRow + static_cast<std::ptrdiff_t>(K) * j;
        for (int v = 0; v < kValues; ++v) {
            out[v] = static_cast<float>(cubicH(horizontalFactors(t[v]), a[v], b[v], c[v], d[v]));
        }
    }
    for (; j < width; ++j) {
        const T* s = srcRow + colOffsets[j];
        const CubicFactors f = horizontalFactors(colWeights[j]);
        for (int k = 0; k < K; ++k) {
            ringRow[K * j + k] =
                static_cast<float>(cubicH(f, s[k - stride], s[k], s[k + stride], s[k + 2 * stride]));
        }
    }
}

// ---- vertical passes --------------------------------------------------------

template <class T>
void cubicVFull(T* dstRow, int count, float t, const float* r0, const float* r1, const float* r2,
                const float* r3) {
    const CubicFactors f = verticalFactors(t);
    int v = 0;
    for (; v + kBlock <= count; v += kBlock) {
        ConvertedType<T> value[kBlock];
        for (int k = 0; k < kBlock; ++k) {
            value[k] = converted(cubicV(f, r0[v + k], r1[v + k], r2[v + k], r3[v + k]), static_cast<T*>(nullptr));
        }
        for (int k = 0; k < kBlock; ++k) dstRow[v + k] = static_cast<T>(value[k]);
    }
    for (; v < count; ++v) store(dstRow + v, cubicV(f, r0[v], r1[v], r2[v], r3[v]));
}

template <class T>
void cubicVAC4(T* dstRow, int width, float t, const float* r0, const float* r1, const float* r2,
               const float* r3) {
    const CubicFactors f = verticalFactors(t);
    for (int j = 0; j < width; ++j) {
        for (int k = 0; k < 3; ++k) {
            const int v = 3 * j + k;
            store(dstRow + 4 * j + k, cubicV(f, r0[v], r1[v], r2[v], r3[v]));
        }
    }
}

}  // namespace

// ---- named row passes -------------------------------------------------------

void ResizeCubicH_8u_C1_px(const Vp8u* srcRow, int width, const int* colOffsets, const float* colWeights,
                           float* ringRow) {
    cubicH1(srcRow, width, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_16u_C1_px(const Vp16u* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicH1(srcRow, width, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_32f_C1_px(const Vp32f* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicH1(srcRow, width, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_8u_C3_px(const Vp8u* srcRow, int width, int pixelStride, const int* colOffsets,
                           const float* colWeights, float* ringRow) {
    cubicHK<Vp8u, 3>(srcRow, width, pixelStride, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_16u_C3_px(const Vp16u* srcRow, int width, int pixelStride, const int* colOffsets,
                            const float* colWeights, float* ringRow) {
    cubicHK<Vp16u, 3>(srcRow, width, pixelStride, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_32f_C3_px(const Vp32f* srcRow, int width, int pixelStride, const int* colOffsets,
                            const float* colWeights, float* ringRow) {
    cubicHK<Vp32f, 3>(srcRow, width, pixelStride, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_8u_C4_px(const Vp8u* srcRow, int width, const int* colOffsets, const float* colWeights,
                           float* ringRow) {
    cubicHK<Vp8u, 4>(srcRow, width, 4, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_16u_C4_px(const Vp16u* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicHK<Vp16u, 4>(srcRow, width, 4, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_32f_C4_px(const Vp32f* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicHK<Vp32f, 4>(srcRow, width, 4, colOffsets, colWeights, ringRow);
}

void ResizeCubicV_8u_px(Vp8u* dstRow, int count, float t, const float* r0, const float* r1, const float* r2,
                        const float* r3) {
    cubicVFull(dstRow, count, t, r0, r1, r2, r3);
}
void ResizeCubicV_16u_px(Vp16u* dstRow, int count, float t, const float* r0, const float* r1, const float* r2,
                         const float* r3) {
    cubicVFull(dstRow, count, t, r0, r1, r2, r3);
}
void ResizeCubicV_32f_px(Vp32f* dstRow, int count, float t, const float* r0, const float* r1, const float* r2,
                         const float* r3) {
    cubicVFull(dstRow, count, t, r0, r1, r2, r3);
}
void ResizeCubicV_8u_AC4_px(Vp8u* dstRow, int width, float t, const float* r0, const float* r1,
                            const float* r2, const float* r3) {
    cubicVAC4(dstRow, width, t, r0, r1, r2, r3);
}
void ResizeCubicV_16u_AC4_px(Vp16u* dstRow, int width, float t, const float* r0, const float* r1,
                             const float* r2, const float* r3) {
    cubicVAC4(dstRow, width, t, r0, r1, r2, r3);
}

// The float AC4 pass rounds p, m and n to float, and for channels 1 and 2 of
// each pixel also the first difference.
void ResizeCubicV_32f_AC4_px(Vp32f* dstRow, int width, float t, const float* r0, const float* r1,
                             const float* r2, const float* r3) {
    CubicFactors f = verticalFactors(t);
    f.p = static_cast<float>(f.p);
    f.m = static_cast<float>(f.m);
    for (int j = 0; j < width; ++j) {
        for (int k = 0; k < 3; ++k) {
            const int v = 3 * j + k;
            const double a = r0[v];
            const double b = r1[v];
            const double c = r2[v];
            const double d = r3[v];
            double d1 = b - a;
            if (k != 0) d1 = static_cast<float>(d1);
            const double d2 = (c - b) - d1;
            const double d3 = (((d - c) - c) + b) - d2;
            dstRow[4 * j + k] = static_cast<Vp32f>(((a + f.n * d3) + f.m * d2) + f.p * d1);
        }
    }
}

// ---- kernel table entries ---------------------------------------------------

int ResizeCubic_8u_C3C4_px(VP_CUBIC_PARAMS) {
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    return cubicC3C4<Vp8u>(VP_CUBIC_ARGS, nChannels, layout, ResizeCubicH_8u_C3_px, ResizeCubicH_8u_C4_px,
                           ResizeCubicV_8u_px, ResizeCubicV_8u_AC4_px);
}
int ResizeCubic_16u_C3C4_px(VP_CUBIC_PARAMS) {
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    return cubicC3C4<Vp16u>(VP_CUBIC_ARGS, nChannels, layout, ResizeCubicH_16u_C3_px, ResizeCubicH_16u_C4_px,
                            ResizeCubicV_16u_px, ResizeCubicV_16u_AC4_px);
}
int ResizeCubic_32f_C3C4_px(VP_CUBIC_PARAMS) {
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    return cubicC3C4<Vp32f>(VP_CUBIC_ARGS, nChannels, layout, ResizeCubicH_32f_C3_px, ResizeCubicH_32f_C4_px,
                            ResizeCubicV_32f_px, ResizeCubicV_32f_AC4_px);
}
int ResizeCubic_8u_C1_px(VP_CUBIC_PARAMS) {
    (void)nChannels;
    (void)layout;
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    return cubicC1<Vp8u>(VP_CUBIC_ARGS, ResizeCubicH_8u_C1_px, ResizeCubicV_8u_px);
}
int ResizeCubic_16u_C1_px(VP_CUBIC_PARAMS) {
    (void)nChannels;
    (void)layout;
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    return cubicC1<Vp16u>(VP_CUBIC_ARGS, ResizeCubicH_16u_C1_px, ResizeCubicV_16u_px);
}
int ResizeCubic_32f_C1_px(VP_CUBIC_PARAMS) {
    (void)nChannels;
    (void)layout;
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    return cubicC1<Vp32f>(VP_CUBIC_ARGS, ResizeCubicH_32f_C1_px, ResizeCubicV_32f_px);
}

