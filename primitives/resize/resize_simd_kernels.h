// The interpolating-resize kernels of the SIMD levels (a6, w7, t7), written once
// and instantiated in each level's file with a small policy type L:
//   static constexpr bool kDivideThirds;     // scalar cubic code divides by 2.0 and 3.0
//   static constexpr bool kIntegerC4HBody;   // 8u/16u four-channel cubic horizontal body exists
//   static void roundToInt4(__m128 v, int out[4]);  // to nearest, ties to even
//   static void endBody();                   // after integer conversions (MMX state at a6)
// Every value is computed in single precision. Include only from level files;
// everything here has internal linkage so that each level compiles it with its
// own flags.
//
// Cubic: scalar code and four-at-a-time bodies evaluate the cubic in different
// orders with different constants for one third, and convert to 8u/16u
// differently (scalar code truncates v + 1e-7, bodies round v + 1e-5 to
// nearest). A pass hands the largest multiple of four of its pixels (values) to
// its body and does the rest in scalar code, so both rules can meet in one row.
//
// Linear: 8u passes truncate (no rounding terms), 16u passes use the split form
// (odd bits weighted separately), 32f passes round after every operation.
#pragma once

#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "primitives/core/vp_types.h"
#include "primitives/resize/resize_cubic_rows.h"
#include "primitives/resize/resize_internal.h"
#include "primitives/resize/resize_linear_rows.h"
#include "primitives/resize/resize_nn_rows.h"

namespace {

// ---- cubic: scalar form -------------------------------------------------------

// One third as the float nearest to it (scalar code) and one unit lower (bodies);
// the bodies' conversion bias 1e-5 as a float.
inline float simdThirdScalar() { return std::bit_cast<float>(std::uint32_t{0x3EAAAAABu}); }
inline float simdThirdBody() { return std::bit_cast<float>(std::uint32_t{0x3EAAAAAAu}); }
inline float simdBodyBias() { return std::bit_cast<float>(std::uint32_t{0x3727C5ACu}); }

struct SimdCubicFactors {
    float p;
    float m;
    float n;
};

template <class L>
inline SimdCubicFactors simdScalarFactors(float t) {
    const float p = 1.0f + t;
    if constexpr (L::kDivideThirds) {
        const float m = (t * p) / 2.0f;
        return {p, m, ((t - 1.0f) * m) / 3.0f};
    } else {
        const float m = (p * t) * 0.5f;
        return {p, m, ((t - 1.0f) * m) * simdThirdScalar()};
    }
}

inline float simdScalarCubicH(const SimdCubicFactors& f, float a, float b, float c, float d) {
    const float d1 = b - a;
    const float d2 = (c - b) - d1;
    const float d3 = ((b - (c + c)) + d) - d2;
    return ((a + f.n * d3) + f.m * d2) + f.p * d1;
}

inline float simdScalarCubicV(const SimdCubicFactors& f, float a, float b, float c, float d) {
    const float d1 = b - a;
    const float d2 = (c - b) - d1;
    const float d3 = (((d - c) - c) + b) - d2;
    return ((a + f.n * d3) + f.m * d2) + f.p * d1;
}

// Scalar conversion of a vertical result: truncate double(v) + 1e-7 toward zero,
// clamped to the element range.
template <class T>
inline T simdScalarStore(float v) {
    if constexpr (std::is_same_v<T, Vp32f>) {
        return v;
    } else {
        constexpr double kMax = std::is_same_v<T, Vp8u> ? 255.0 : 65535.0;
        double x = static_cast<double>(v) + 1e-7;
        x = x < 0.0 ? 0.0 : (x > kMax ? kMax : x);
        return static_cast<T>(static_cast<int>(x));
    }
}

// ---- cubic: vector form ------------------------------------------------------

struct SimdLanes {
    __m128 p;
    __m128 m;
    __m128 n;
};

inline SimdLanes simdBodyFactorsH(__m128 t) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 p = _mm_add_ps(t, one);
    const __m128 m = _mm_mul_ps(_mm_mul_ps(t, _mm_set1_ps(0.5f)), p);
    const __m128 n = _mm_mul_ps(_mm_sub_ps(t, one), _mm_mul_ps(m, _mm_set1_ps(simdThirdBody())));
    return {p, m, n};
}

inline SimdLanes simdBodyFactorsV(float t) {
    const __m128 tv = _mm_set1_ps(t);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 p = _mm_add_ps(tv, one);
    const __m128 m = _mm_mul_ps(_mm_mul_ps(tv, _mm_set1_ps(0.5f)), p);
    const __m128 n = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(tv, one), _mm_set1_ps(simdThirdBody())), m);
    return {p, m, n};
}

inline __m128 simdBodyCubicH(const SimdLanes& f, __m128 a, __m128 b, __m128 c, __m128 d) {
    const __m128 d1 = _mm_sub_ps(b, a);
    const __m128 d2 = _mm_sub_ps(_mm_sub_ps(c, b), d1);
    const __m128 d3 = _mm_add_ps(_mm_sub_ps(_mm_sub_ps(d, c), c), _mm_sub_ps(b, d2));
    return _mm_add_ps(_mm_add_ps(a, _mm_mul_ps(d1, f.p)), _mm_add_ps(_mm_mul_ps(d2, f.m), _mm_mul_ps(d3, f.n)));
}

inline __m128 simdBodyCubicV(const SimdLanes& f, __m128 a, __m128 b, __m128 c, __m128 d) {
    const __m128 d1 = _mm_sub_ps(b, a);
    const __m128 d2 = _mm_sub_ps(_mm_sub_ps(c, b), d1);
    const __m128 d3 = _mm_add_ps(_mm_sub_ps(d, d2), _mm_sub_ps(_mm_sub_ps(b, c), c));
    return _mm_add_ps(_mm_add_ps(a, _mm_mul_ps(d1, f.p)), _mm_add_ps(_mm_mul_ps(d2, f.m), _mm_mul_ps(d3, f.n)));
}

// Four body results on their way to T: v + 1e-5 rounded to the nearest integer
// (ties to even) and saturated, or the floats themselves.
template <class L, class T>
inline void simdBodyStore(T* out, std::ptrdiff_t stride, __m128 v) {
    if constexpr (std::is_same_v<T, Vp32f>) {
        if (stride == 1) {
            _mm_storeu_ps(out, v);
        } else {
            alignas(16) float f[4];
            _mm_store_ps(f, v);
            for (int q = 0; q < 4; ++q) out[q * stride] = f[q];
        }
    } else {
        constexpr float kMax = std::is_same_v<T, Vp8u> ? 255.0f : 65535.0f;
        // Clamping before rounding saturates alike: the range ends are integers.
        v = _mm_add_ps(v, _mm_set1_ps(simdBodyBias()));
        v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(kMax));
        alignas(16) int q[4];
        L::roundToInt4(v, q);
        for (int k = 0; k < 4; ++k) out[k * stride] = static_cast<T>(q[k]);
    }
}

template <class T>
inline __m128 simdGather4(const T* base, const int* offsets, int delta) {
    return _mm_setr_ps(static_cast<float>(base[offsets[0] + delta]), static_cast<float>(base[offsets[1] + delta]),
                       static_cast<float>(base[offsets[2] + delta]), static_cast<float>(base[offsets[3] + delta]));
}

// ---- cubic: horizontal passes --------------------------------------------------
// K channels per pixel with samples `stride` elements apart (one channel: K = 1,
// stride 1). The body covers the first width - width % 4 pixels.

template <class L, class T, int K>
constexpr bool simdHasHorizontalBody() {
    return !(K == 4 && !std::is_same_v<T, Vp32f> && !L::kIntegerC4HBody);
}

template <class L, class T, int K>
void simdCubicH(const T* srcRow, int width, int stride, const int* colOffsets, const float* colWeights,
                float* ringRow) {
    int j = 0;
    if constexpr (simdHasHorizontalBody<L, T, K>()) {
        const int bodyEnd = width - width % 4;
        for (; j < bodyEnd; j += 4) {
            const SimdLanes f = simdBodyFactorsH(_mm_loadu_ps(colWeights + j));
            const int* o = colOffsets + j;
            for (int k = 0; k < K; ++k) {
                const __m128 v = simdBodyCubicH(f, simdGather4(srcRow, o, k - stride), simdGather4(srcRow, o, k),
                                                simdGather4(srcRow, o, k + stride),
                                                simdGather4(srcRow, o, k + 2 * stride));
                simdBodyStore<L, float>(ringRow + static_cast<std::ptrdiff_t>(K) * j + k, K, v);
            }
        }
    }
    for (; j < width; ++j) {
        const T* s = srcRow + colOffsets[j];
        const SimdCubicFactors f = simdScalarFactors<L>(colWeights[j]);
        for (int k = 0; k < K; ++k) {
            ringRow[K * j + k] =
                simdScalarCubicH(f, static_cast<float>(s[k - stride]), static_cast<float>(s[k]),
                                 static_cast<float>(s[k + stride]), static_cast<float>(s[k + 2 * stride]));
        }
    }
}

// ---- cubic: vertical passes ------------------------------------------------------
// Value k of the sequence goes to destination element k (full passes) or to
// element 4 * (k / 3) + k % 3 (AC4 passes, which leave element 3 of each pixel).

inline std::ptrdiff_t simdAC4Index(std::ptrdiff_t k) { return 4 * (k / 3) + k % 3; }

template <class L, class T, bool AC4>
void simdCubicV(T* dstRow, int length, float t, const float* r0, const float* r1, const float* r2,
                const float* r3) {
    // Full passes take a count of values, AC4 passes a width of three-value pixels.
    const int count = AC4 ? 3 * length : length;
    int v = 0;
    constexpr bool hasBody = !(AC4 && std::is_same_v<T, Vp32f>);
    if constexpr (hasBody) {
        const int bodyEnd = count - count % 4;
        if (bodyEnd > 0) {
            const SimdLanes f = simdBodyFactorsV(t);
            for (; v < bodyEnd; v += 4) {
                const __m128 value = simdBodyCubicV(f, _mm_loadu_ps(r0 + v), _mm_loadu_ps(r1 + v),
                                                    _mm_loadu_ps(r2 + v), _mm_loadu_ps(r3 + v));
                if constexpr (AC4) {
                    alignas(16) T lanes[4];
                    simdBodyStore<L, T>(lanes, 1, value);
                    for (int q = 0; q < 4; ++q) dstRow[simdAC4Index(v + q)] = lanes[q];
                } else {
                    simdBodyStore<L, T>(dstRow + v, 1, value);
                }
            }
            if constexpr (!std::is_same_v<T, Vp32f>) L::endBody();
        }
    }
    const SimdCubicFactors f = simdScalarFactors<L>(t);
    for (; v < count; ++v) {
        const T value = simdScalarStore<T>(simdScalarCubicV(f, r0[v], r1[v], r2[v], r3[v]));
        dstRow[AC4 ? simdAC4Index(v) : v] = value;
    }
}

// ---- cubic: table entries ----------------------------------------------------------

template <class L, class T>
int simdCubicC3C4(VP_CUBIC_PARAMS) {
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    auto hc3 = [](const T* row, int width, int stride, const int* co, const float* cw, float* out) {
        simdCubicH<L, T, 3>(row, width, stride, co, cw, out);
    };
    auto hc4 = [](const T* row, int width, const int* co, const float* cw, float* out) {
        simdCubicH<L, T, 4>(row, width, 4, co, cw, out);
    };
    return cubicC3C4<T>(VP_CUBIC_ARGS, nChannels, layout, hc3, hc4, simdCubicV<L, T, false>,
                        simdCubicV<L, T, true>);
}

template <class L, class T>
int simdCubicC1(VP_CUBIC_PARAMS) {
    (void)nChannels;
    (void)layout;
    float* const ring[4] = {rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3};
    auto hc1 = [](const T* row, int width, const int* co, const float* cw, float* out) {
        simdCubicH<L, T, 1>(row, width, 1, co, cw, out);
    };
    return cubicC1<T>(VP_CUBIC_ARGS, hc1, simdCubicV<L, T, false>);
}

// ---- linear passes --------------------------------------------------------------------

// 16-bit weighted sum of two samples without a rounding term: the high bits and
// the odd bit are weighted separately so that every product fits 16 x 16 bits.
inline int simdSplitSum(int x0, int w0, int x1, int w1) {
    return (((x0 >> 1) * w0 + (x1 >> 1) * w1) >> 13) + (((x0 & 1) * w0 + (x1 & 1) * w1) >> 14);
}

// Values per block of the blocked vertical pass below.
constexpr int kSimdLinearBlock = 8;

template <int K>
void simdLinearH16u(const Vp16u* src, int count, int d, const int* colOffsets, const Vp16u* colWeights,
                    Vp16u* out) {
    for (int j = 0; j < count; ++j) {
        const Vp16u* s = src + colOffsets[j];
        const int w0 = colWeights[2 * j];
        const int w1 = colWeights[2 * j + 1];
        for (int c = 0; c < K; ++c) out[K * j + c] = static_cast<Vp16u>(simdSplitSum(s[c], w0, s[d + c], w1));
    }
}

// Four columns of a one-channel float row at a time; the same arithmetic as the
// scalar columns after them.
template <int K>
void simdLinearH32f(const Vp32f* src, int count, int d, const int* colOffsets, const float* colWeights, float* out) {
    int j = 0;
    if constexpr (K == 1) {
        for (; j + 4 <= count; j += 4) {
            const __m128 s0 = simdGather4(src, colOffsets + j, 0);
            const __m128 s1 = simdGather4(src, colOffsets + j, 1);
            const __m128 f = _mm_loadu_ps(colWeights + j);
            _mm_storeu_ps(out + j, _mm_add_ps(s0, _mm_mul_ps(_mm_sub_ps(s1, s0), f)));
        }
    }
    for (; j < count; ++j) {
        const Vp32f* s = src + colOffsets[j];
        const float f = colWeights[j];
        for (int c = 0; c < K; ++c) out[K * j + c] = s[c] + (s[d + c] - s[c]) * f;
    }
}

inline Vp8u simdLinearBlend8u(int a, int u, int l) { return static_cast<Vp8u>(((16384 - a) * u + a * l) >> 20); }
inline Vp16u simdLinearBlend16u(int a, int u, int l) { return static_cast<Vp16u>(simdSplitSum(u, 16384 - a, l, a)); }

// Full passes blend `count` values; AC4 passes `count` pixels of three values.
template <bool AC4>
void simdLinearV8u(Vp8u* dst, int count, int a, const Vp16s* upper, const Vp16s* lower) {
    const int n = AC4 ? 3 * count : count;
    int v = 0;
    if constexpr (!AC4) {
        // Weights (at most 16384) and ring values fit 16 bits; products are formed in 32.
        const Vp16s wu = static_cast<Vp16s>(16384 - a);
        const Vp16s wl = static_cast<Vp16s>(a);
        for (; v + 2 * kSimdLinearBlock <= n; v += 2 * kSimdLinearBlock) {
            int value[2 * kSimdLinearBlock];
            for (int k = 0; k < 2 * kSimdLinearBlock; ++k) {
                value[k] = (static_cast<int>(wu) * upper[v + k] + static_cast<int>(wl) * lower[v + k]) >> 20;
            }
            for (int k = 0; k < 2 * kSimdLinearBlock; ++k) dst[v + k] = static_cast<Vp8u>(value[k]);
        }
    }
    for (; v < n; ++v) dst[AC4 ? simdAC4Index(v) : v] = simdLinearBlend8u(a, upper[v], lower[v]);
}

template <bool AC4>
void simdLinearV16u(Vp16u* dst, int count, int a, const Vp16u* upper, const Vp16u* lower) {
    const int n = AC4 ? 3 * count : count;
    for (int v = 0; v < n; ++v) dst[AC4 ? simdAC4Index(v) : v] = simdLinearBlend16u(a, upper[v], lower[v]);
}

template <bool AC4>
void simdLinearV32f(Vp32f* dst, int count, float a, const float* upper, const float* lower) {
    const float b = 1.0f - a;
    int v = 0;
    if constexpr (!AC4) {
        const __m128 wa = _mm_set1_ps(a);
        const __m128 wb = _mm_set1_ps(b);
        for (; v + 4 <= count; v += 4) {
            const __m128 r = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(upper + v), wb), _mm_mul_ps(_mm_loadu_ps(lower + v), wa));
            _mm_storeu_ps(dst + v, r);
        }
    }
    const int n = AC4 ? 3 * count : count;
    for (; v < n; ++v) dst[AC4 ? simdAC4Index(v) : v] = upper[v] * b + lower[v] * a;
}

// ---- linear: table entries ----------------------------------------------------------

template <class T, class R, class W, class RW, class HK, class VK>
int simdLinearC3C4(VP_LINEAR_PARAMS, HK horizontal, VK vertical) {
    auto hc3 = [&](const T* row, int width, int stride, const int* co, const W* cw, R* out) {
        horizontal.template operator()<3>(row, width, stride, co, cw, out);
    };
    auto hc4 = [&](const T* row, int width, const int* co, const W* cw, R* out) {
        horizontal.template operator()<4>(row, width, 4, co, cw, out);
    };
    auto vFull = [&](T* out, int count, RW a, const R* upper, const R* lower) {
        vertical.template operator()<false>(out, count, a, upper, lower);
    };
    auto vAC4 = [&](T* out, int count, RW a, const R* upper, const R* lower) {
        vertical.template operator()<true>(out, count, a, upper, lower);
    };
    return linearC3C4<T, R, W, RW>(VP_LINEAR_ARGS, nChannels, layout, hc3, hc4, vFull, vAC4);
}

template <class T, class R, class W, class RW, class HK, class VK>
int simdLinearC1(VP_LINEAR_PARAMS, HK horizontal, VK vertical) {
    (void)nChannels;
    (void)layout;
    auto hc1 = [&](const T* row, int width, const int* co, const W* cw, R* out) {
        horizontal.template operator()<1>(row, width, 1, co, cw, out);
    };
    auto vFull = [&](T* out, int count, RW a, const R* upper, const R* lower) {
        vertical.template operator()<false>(out, count, a, upper, lower);
    };
    return linearC1<T, R, W, RW>(VP_LINEAR_ARGS, hc1, vFull);
}

// The passes of one depth as generic callables (channel count and AC4 choice
// as template arguments).
struct SimdLinear8u {
    static constexpr auto h = []<int K>(const Vp8u* s, int n, int d, const int* co, const Vp16u* cw, Vp16s* o) {
        linearH8u<K, 0>(s, n, d, co, cw, o);
    };
    static constexpr auto v = []<bool AC4>(Vp8u* o, int n, int a, const Vp16s* u, const Vp16s* l) {
        simdLinearV8u<AC4>(o, n, a, u, l);
    };
};
struct SimdLinear16u {
    static constexpr auto h = []<int K>(const Vp16u* s, int n, int d, const int* co, const Vp16u* cw, Vp16u* o) {
        simdLinearH16u<K>(s, n, d, co, cw, o);
    };
    static constexpr auto v = []<bool AC4>(Vp16u* o, int n, int a, const Vp16u* u, const Vp16u* l) {
        simdLinearV16u<AC4>(o, n, a, u, l);
    };
};
struct SimdLinear32f {
    static constexpr auto h = []<int K>(const Vp32f* s, int n, int d, const int* co, const float* cw, float* o) {
        simdLinearH32f<K>(s, n, d, co, cw, o);
    };
    static constexpr auto v = []<bool AC4>(Vp32f* o, int n, float a, const float* u, const float* l) {
        simdLinearV32f<AC4>(o, n, a, u, l);
    };
};

}  // namespace

#define VP_CUBIC_FORWARD                                                                                  \
    pSrc, pDst, srcStep, dstStep, dstWidth, dstHeight, rowOffsets, colOffsets, rowWeights, colWeights, \
        rowBuffer0, rowBuffer1, rowBuffer2, rowBuffer3, nChannels, layout

// Defines the 21 kernel-table entries of level `sfx` (with policy L) and the
// level's table ResizeKernelTable_<sfx>.
#define VP_RESIZE_SIMD_LEVEL(sfx, L)                                                                           \
    VP_NN_MEMBER(ResizeNN_8u_C3_##sfx, Vp8u, 3, nChannels)                                                     \
    VP_NN_MEMBER(ResizeNN_16u_C3_##sfx, Vp16u, 3, nChannels)                                                   \
    VP_NN_MEMBER(ResizeNN_32f_C3_##sfx, Vp32f, 3, nChannels)                                                   \
    VP_NN_MEMBER(ResizeNN_8u_C1_##sfx, Vp8u, 1, 1)                                                             \
    VP_NN_MEMBER(ResizeNN_16u_C1_##sfx, Vp16u, 1, 1)                                                           \
    VP_NN_MEMBER(ResizeNN_32f_C1_##sfx, Vp32f, 1, 1)                                                           \
    VP_NN_MEMBER(ResizeNN_8u_C4_##sfx, Vp8u, 4, 4)                                                             \
    VP_NN_MEMBER(ResizeNN_16u_C4_##sfx, Vp16u, 4, 4)                                                           \
    VP_NN_MEMBER(ResizeNN_32f_C4_##sfx, Vp32f, 4, 4)                                                           \
    int ResizeLinear_8u_C3C4_##sfx(VP_LINEAR_PARAMS) {                                                         \
        return simdLinearC3C4<Vp8u, Vp16s, Vp16u, Vp16u>(VP_LINEAR_ARGS, nChannels, layout, SimdLinear8u::h,   \
                                                         SimdLinear8u::v);                                     \
    }                                                                                                          \
    int ResizeLinear_16u_C3C4_##sfx(VP_LINEAR_PARAMS) {                                                        \
        return simdLinearC3C4<Vp16u, Vp16u, Vp16u, Vp16u>(VP_LINEAR_ARGS, nChannels, layout, SimdLinear16u::h, \
                                                          SimdLinear16u::v);                                   \
    }                                                                                                          \
    int ResizeLinear_32f_C3C4_##sfx(VP_LINEAR_PARAMS) {                                                        \
        return simdLinearC3C4<Vp32f, float, float, float>(VP_LINEAR_ARGS, nChannels, layout, SimdLinear32f::h, \
                                                          SimdLinear32f::v);                                   \
    }                                                                                                          \
    int ResizeLinear_8u_C1_##sfx(VP_LINEAR_PARAMS) {                                                           \
        return simdLinearC1<Vp8u, Vp16s, Vp16u, Vp16u>(VP_LINEAR_ARGS, nChannels, layout, SimdLinear8u::h,     \
                                                       SimdLinear8u::v);                                       \
    }                                                                                                          \
    int ResizeLinear_16u_C1_##sfx(VP_LINEAR_PARAMS) {                                                          \
        return simdLinearC1<Vp16u, Vp16u, Vp16u, Vp16u>(VP_LINEAR_ARGS, nChannels, layout, SimdLinear16u::h,   \
                                                        SimdLinear16u::v);                                     \
    }                                                                                                          \
    int ResizeLinear_32f_C1_##sfx(VP_LINEAR_PARAMS) {                                                          \
        return simdLinearC1<Vp32f, float, float, float>(VP_LINEAR_ARGS, nChannels, layout, SimdLinear32f::h,   \
                                                        SimdLinear32f::v);                                     \
    }                                                                                                          \
    int ResizeCubic_8u_C3C4_##sfx(VP_CUBIC_PARAMS) { return simdCubicC3C4<L, Vp8u>(VP_CUBIC_FORWARD); }        \
    int ResizeCubic_16u_C3C4_##sfx(VP_CUBIC_PARAMS) { return simdCubicC3C4<L, Vp16u>(VP_CUBIC_FORWARD); }      \
    int ResizeCubic_32f_C3C4_##sfx(VP_CUBIC_PARAMS) { return simdCubicC3C4<L, Vp32f>(VP_CUBIC_FORWARD); }      \
    int ResizeCubic_8u_C1_##sfx(VP_CUBIC_PARAMS) { return simdCubicC1<L, Vp8u>(VP_CUBIC_FORWARD); }            \
    int ResizeCubic_16u_C1_##sfx(VP_CUBIC_PARAMS) { return simdCubicC1<L, Vp16u>(VP_CUBIC_FORWARD); }          \
    int ResizeCubic_32f_C1_##sfx(VP_CUBIC_PARAMS) { return simdCubicC1<L, Vp32f>(VP_CUBIC_FORWARD); }          \
    const ResizeKernelEntry ResizeKernelTable_##sfx[kResizeKernelCount] = {                                    \
        {ResizeNN_8u_C3_##sfx, nullptr, nullptr},                                                              \
        {ResizeNN_16u_C3_##sfx, nullptr, nullptr},                                                             \
        {ResizeNN_32f_C3_##sfx, nullptr, nullptr},                                                             \
        {ResizeNN_8u_C1_##sfx, nullptr, nullptr},                                                              \
        {ResizeNN_16u_C1_##sfx, nullptr, nullptr},                                                             \
        {ResizeNN_32f_C1_##sfx, nullptr, nullptr},                                                             \
        {ResizeNN_8u_C4_##sfx, nullptr, nullptr},                                                              \
        {ResizeNN_16u_C4_##sfx, nullptr, nullptr},                                                             \
        {ResizeNN_32f_C4_##sfx, nullptr, nullptr},                                                             \
        {nullptr, ResizeLinear_8u_C3C4_##sfx, nullptr},                                                        \
        {nullptr, ResizeLinear_16u_C3C4_##sfx, nullptr},                                                       \
        {nullptr, ResizeLinear_32f_C3C4_##sfx, nullptr},                                                       \
        {nullptr, ResizeLinear_8u_C1_##sfx, nullptr},                                                          \
        {nullptr, ResizeLinear_16u_C1_##sfx, nullptr},                                                         \
        {nullptr, ResizeLinear_32f_C1_##sfx, nullptr},                                                         \
        {nullptr, nullptr, ResizeCubic_8u_C3C4_##sfx},                                                         \
        {nullptr, nullptr, ResizeCubic_16u_C3C4_##sfx},                                                        \
        {nullptr, nullptr, ResizeCubic_32f_C3C4_##sfx},                                                        \
        {nullptr, nullptr, ResizeCubic_8u_C1_##sfx},                                                           \
        {nullptr, nullptr, ResizeCubic_16u_C1_##sfx},                                                          \
        {nullptr, nullptr, ResizeCubic_32f_C1_##sfx},                                                          \
    };
