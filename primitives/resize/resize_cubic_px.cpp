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
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

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
// and clamp to the element range. The selects have the operand order of the
// processor's max and min, so blocks of values convert together; a NaN (which
// finite integer samples never give) becomes 0.
template <class T>
inline double clampedForInteger(double v) {
    constexpr double kMax = std::is_same_v<T, Vp8u> ? 255.0 : 65535.0;
    double x = v + 1e-7;
    x = x > 0.0 ? x : 0.0;
    return x < kMax ? x : kMax;
}

// A vertical result on its way to the destination type: the integer value for
// 8u and 16u, the float for 32f.
inline int converted(double v, Vp8u*) { return static_cast<int>(clampedForInteger<Vp8u>(v)); }
inline int converted(double v, Vp16u*) { return static_cast<int>(clampedForInteger<Vp16u>(v)); }
inline float converted(double v, Vp32f*) { return static_cast<float>(v); }

template <class T>
inline void store(T* out, double v) {
    *out = static_cast<T>(converted(v, static_cast<T*>(nullptr)));
}

// ---- horizontal passes ------------------------------------------------------

// The samples of one value around its base element, `stride` elements apart.
template <class T>
inline double cubicAt(const CubicFactors& f, const T* s, int stride) {
    return cubicH(f, s[-stride], s[0], s[stride], s[2 * stride]);
}

// The horizontal pass. The factors of a column depend on its offset only, so
// the kernel entries form them once per call (for rows of up to kFactorColumns
// columns; wider rows form them per row, that many columns at a time). The
// differences d1, d2, d3 depend only on the four samples around a base
// element, so where columns sample their elements densely (every enlargement,
// mild reductions) they are formed once per element and row and read by every
// column with that base. Each value is still the same sequence of double
// operations on the same operands as cubicH.
constexpr int kFactorColumns = 2048;
constexpr int kDiffElements = 512;

struct CubicColumnFactors {
    double p[kFactorColumns];
    double m[kFactorColumns];
    double n[kFactorColumns];
    int first = 0;  // columns first .. first + count - 1 are held
    int count = 0;
    // The held columns' offsets never decrease and their K-element groups
    // cover at most twice as many elements as they read, so differences per
    // element cost less than per column.
    bool dense = false;

    void hold(int j, int width, const int* colOffsets, const float* colWeights, int K) {
        first = j;
        count = width - j < kFactorColumns ? width - j : kFactorColumns;
        for (int q = 0; q < count; ++q) {
            const CubicFactors f = horizontalFactors(colWeights[j + q]);
            p[q] = f.p;
            m[q] = f.m;
            n[q] = f.n;
        }
        bool increasing = true;
        for (int q = 1; q < count; ++q) increasing &= colOffsets[j + q] >= colOffsets[j + q - 1];
        const long long span = static_cast<long long>(colOffsets[j + count - 1]) - colOffsets[j] + K;
        dense = increasing && span <= 2LL * K * count;
    }
};

// Differences of a run of source elements, as doubles. Integer samples give
// integer differences, which int arithmetic forms exactly and faster; float
// samples are differenced in double as cubicH does.
template <class T>
struct CubicRowDiffs {
    double a[kDiffElements];
    double d1[kDiffElements];
    double d2[kDiffElements];
    double d3[kDiffElements];

    // Elements 0 .. count - 1 of src, samples `stride` apart.
    void form(const T* __restrict src, int count, int stride) {
        using W = std::conditional_t<std::is_same_v<T, Vp32f>, double, int>;
        for (int e = 0; e < count; ++e) {
            const W a0 = src[e - stride];
            const W b = src[e];
            const W c = src[e + stride];
            const W d = src[e + 2 * stride];
            const W e1 = b - a0;
            const W e2 = (c - b) - e1;
            const W e3 = ((b - (c + c)) + d) - e2;
            a[e] = a0;
            d1[e] = e1;
            d2[e] = e2;
            d3[e] = e3;
        }
    }
};

template <class T>
struct CubicHScratch {
    CubicColumnFactors factors;
    CubicRowDiffs<T> diffs;
};

// count columns whose groups start at offsets[i] - lo in the differences.
template <int K>
void cubicHFromDiffs(const double* __restrict a, const double* __restrict d1, const double* __restrict d2,
                     const double* __restrict d3,
                     const int* __restrict offsets, int lo, int count, const double* __restrict p,
                     const double* __restrict m, const double* __restrict n, float* __restrict out) {
    for (int i = 0; i < count; ++i) {
        const int e = offsets[i] - lo;
        for (int k = 0; k < K; ++k) {
            const double v = ((a[e + k] + n[i] * d3[e + k]) + m[i] * d2[e + k]) + p[i] * d1[e + k];
            out[K * i + k] = static_cast<float>(v);
        }
    }
}

// count columns straight from their samples.
template <int K, class T>
void cubicHFromSamples(const T* __restrict srcRow, int stride, const int* __restrict offsets, int count,
                       const double* __restrict p, const double* __restrict m, const double* __restrict n,
                       float* __restrict out) {
    for (int i = 0; i < count; ++i) {
        const T* s = srcRow + offsets[i];
        const CubicFactors f{p[i], m[i], n[i]};
        for (int k = 0; k < K; ++k) out[K * i + k] = static_cast<float>(cubicAt(f, s + k, stride));
    }
}

template <class T, int K>
void cubicHTabled(const T* srcRow, int width, int stride, const int* colOffsets, const float* colWeights,
                  CubicHScratch<T>& scratch, float* ringRow) {
    CubicColumnFactors& cf = scratch.factors;
    CubicRowDiffs<T>& dd = scratch.diffs;
    int j = 0;
    while (j < width) {
        if (j < cf.first || j >= cf.first + cf.count) cf.hold(j, width, colOffsets, colWeights, K);
        const int end = cf.first + cf.count;
        if (!cf.dense) {
            const int q = j - cf.first;
            cubicHFromSamples<K>(srcRow, stride, colOffsets + j, end - j, cf.p + q, cf.m + q, cf.n + q,
                                 ringRow + static_cast<std::ptrdiff_t>(K) * j);
            j = end;
            continue;
        }
        while (j < end) {
            // A run: the columns whose groups fit one block of differences.
            const int lo = colOffsets[j];
            const int last = lo + kDiffElements - K;
            // The held offsets never decrease, so the run ends where they pass `last`.
            const int j1 = static_cast<int>(std::upper_bound(colOffsets + j + 1, colOffsets + end, last) - colOffsets);
            dd.form(srcRow + lo, colOffsets[j1 - 1] + K - lo, stride);
            const int q = j - cf.first;
            cubicHFromDiffs<K>(dd.a, dd.d1, dd.d2, dd.d3, colOffsets + j, lo, j1 - j, cf.p + q, cf.m + q, cf.n + q,
                               ringRow + static_cast<std::ptrdiff_t>(K) * j);
            j = j1;
        }
    }
}

// One row on its own (the named row passes): the factors are formed for this row.
template <int K, class T>
void cubicHPass(const T* srcRow, int width, int stride, const int* colOffsets, const float* colWeights,
                float* ringRow) {
    CubicHScratch<T> scratch;
    cubicHTabled<T, K>(srcRow, width, stride, colOffsets, colWeights, scratch, ringRow);
}

// ---- vertical passes --------------------------------------------------------

template <class T>
void cubicVFull(T* __restrict dstRow, int count, float t, const float* __restrict r0, const float* __restrict r1,
                const float* __restrict r2, const float* __restrict r3) {
    const CubicFactors f = verticalFactors(t);
    if constexpr (std::is_same_v<T, Vp32f>) {
        for (int v = 0; v < count; ++v) store(dstRow + v, cubicV(f, r0[v], r1[v], r2[v], r3[v]));
    } else {
        // Integer results go through a block of clamped doubles, so that the
        // arithmetic and the clamps run at the width of the doubles and the
        // truncation and narrowing as a loop of their own.
        constexpr int kBlock = 256;
        double q[kBlock];
        for (int v0 = 0; v0 < count; v0 += kBlock) {
            const int n = count - v0 < kBlock ? count - v0 : kBlock;
            const float* a = r0 + v0;
            const float* b = r1 + v0;
            const float* c = r2 + v0;
            const float* d = r3 + v0;
            for (int k = 0; k < n; ++k) q[k] = clampedForInteger<T>(cubicV(f, a[k], b[k], c[k], d[k]));
            for (int k = 0; k < n; ++k) dstRow[v0 + k] = static_cast<T>(static_cast<int>(q[k]));
        }
    }
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
    cubicHPass<1>(srcRow, width, 1, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_16u_C1_px(const Vp16u* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicHPass<1>(srcRow, width, 1, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_32f_C1_px(const Vp32f* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicHPass<1>(srcRow, width, 1, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_8u_C3_px(const Vp8u* srcRow, int width, int pixelStride, const int* colOffsets,
                           const float* colWeights, float* ringRow) {
    cubicHPass<3>(srcRow, width, pixelStride, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_16u_C3_px(const Vp16u* srcRow, int width, int pixelStride, const int* colOffsets,
                            const float* colWeights, float* ringRow) {
    cubicHPass<3>(srcRow, width, pixelStride, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_32f_C3_px(const Vp32f* srcRow, int width, int pixelStride, const int* colOffsets,
                            const float* colWeights, float* ringRow) {
    cubicHPass<3>(srcRow, width, pixelStride, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_8u_C4_px(const Vp8u* srcRow, int width, const int* colOffsets, const float* colWeights,
                           float* ringRow) {
    cubicHPass<4>(srcRow, width, 4, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_16u_C4_px(const Vp16u* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicHPass<4>(srcRow, width, 4, colOffsets, colWeights, ringRow);
}
void ResizeCubicH_32f_C4_px(const Vp32f* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow) {
    cubicHPass<4>(srcRow, width, 4, colOffsets, colWeights, ringRow);
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
// The horizontal passes of one call share one scratch, so that the column
// factors are formed once per call.

namespace {

template <class T>
using CubicVPass = void (*)(T*, int, float, const float*, const float*, const float*, const float*);

template <class T>
int cubicEntryC3C4(VP_CUBIC_PARAMS, CubicVPass<T> vFull, CubicVPass<T> vAC4) {
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    CubicHScratch<T> scratch;
    auto h3 = [&](const T* row, int width, int stride, const int* offsets, const float* weights, float* out) {
        cubicHTabled<T, 3>(row, width, stride, offsets, weights, scratch, out);
    };
    auto h4 = [&](const T* row, int width, const int* offsets, const float* weights, float* out) {
        cubicHTabled<T, 4>(row, width, 4, offsets, weights, scratch, out);
    };
    return cubicC3C4<T>(VP_CUBIC_ARGS, nChannels, layout, h3, h4, vFull, vAC4);
}

template <class T>
int cubicEntryC1(VP_CUBIC_PARAMS, CubicVPass<T> vFull) {
    (void)nChannels;
    (void)layout;
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    CubicHScratch<T> scratch;
    auto h1 = [&](const T* row, int width, const int* offsets, const float* weights, float* out) {
        cubicHTabled<T, 1>(row, width, 1, offsets, weights, scratch, out);
    };
    return cubicC1<T>(VP_CUBIC_ARGS, h1, vFull);
}

}  // namespace

#define VP_CUBIC_ENTRY_ARGS                                                                                 \
    pSrc, pDst, srcStep, dstStep, dstWidth, dstHeight, rowOffsets, colOffsets, rowWeights, colWeights, \
        rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3, nChannels, layout

int ResizeCubic_8u_C3C4_px(VP_CUBIC_PARAMS) {
    return cubicEntryC3C4<Vp8u>(VP_CUBIC_ENTRY_ARGS, ResizeCubicV_8u_px, ResizeCubicV_8u_AC4_px);
}
int ResizeCubic_16u_C3C4_px(VP_CUBIC_PARAMS) {
    return cubicEntryC3C4<Vp16u>(VP_CUBIC_ENTRY_ARGS, ResizeCubicV_16u_px, ResizeCubicV_16u_AC4_px);
}
int ResizeCubic_32f_C3C4_px(VP_CUBIC_PARAMS) {
    return cubicEntryC3C4<Vp32f>(VP_CUBIC_ENTRY_ARGS, ResizeCubicV_32f_px, ResizeCubicV_32f_AC4_px);
}
int ResizeCubic_8u_C1_px(VP_CUBIC_PARAMS) {
    return cubicEntryC1<Vp8u>(VP_CUBIC_ENTRY_ARGS, ResizeCubicV_8u_px);
}
int ResizeCubic_16u_C1_px(VP_CUBIC_PARAMS) {
    return cubicEntryC1<Vp16u>(VP_CUBIC_ENTRY_ARGS, ResizeCubicV_16u_px);
}
int ResizeCubic_32f_C1_px(VP_CUBIC_PARAMS) {
    return cubicEntryC1<Vp32f>(VP_CUBIC_ENTRY_ARGS, ResizeCubicV_32f_px);
}
#undef VP_CUBIC_ENTRY_ARGS
