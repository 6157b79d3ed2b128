// Linear resize row drivers, plain code. A horizontal pass resamples a source
// row into one of two ring rows; a vertical pass blends the ring rows of source
// rows r and r + 1 into a destination row. px rounds to nearest in both passes
// (8u, 16u) and evaluates float formulas in double with one rounding at the store.
#include <cstddef>

#include "primitives/resize/resize_linear_rows.h"
#include "primitives/resize/resize_px.h"

namespace {

// ---- horizontal passes ----------------------------------------------------
// d is the element distance between the two samples, K the channels written per
// destination pixel (packed without gaps in the ring row).

template <int K>
void linearH16u(const Vp16u* src, int count, int d, const int* colOffsets, const Vp16u* colWeights,
                Vp16u* out) {
    for (int j = 0; j < count; ++j) {
        const Vp16u* s = src + colOffsets[j];
        const int w0 = colWeights[2 * j];
        const int w1 = colWeights[2 * j + 1];
        for (int c = 0; c < K; ++c) {
            // At most 16384 * 65535 + 8192: fits in 31 bits.
            out[K * j + c] = static_cast<Vp16u>((s[c] * w0 + s[d + c] * w1 + 8192) >> 14);
        }
    }
}

template <int K>
void linearH32f(const Vp32f* src, int count, int d, const int* colOffsets, const float* colWeights, float* out) {
    for (int j = 0; j < count; ++j) {
        const Vp32f* s = src + colOffsets[j];
        const double f = colWeights[j];
        for (int c = 0; c < K; ++c) {
            const double s0 = s[c];
            const double s1 = s[d + c];
            out[K * j + c] = static_cast<float>(s0 + (s1 - s0) * f);
        }
    }
}

// ---- vertical passes ------------------------------------------------------
// Full passes blend `count` values; AC4 passes read three values per pixel and
// write elements 0..2 of four-element destination pixels.

inline Vp8u linearV8u(int a, int u, int l) {
    return static_cast<Vp8u>(((16384 - a) * u + a * l + 524288) >> 20);
}
inline Vp16u linearV16u(int a, int u, int l) {
    return static_cast<Vp16u>(((16384 - a) * u + a * l + 8192) >> 14);
}
inline Vp32f linearV32f(double a, double oneMinusA, double u, double l) {
    return static_cast<Vp32f>(l * a + u * oneMinusA);
}

}  // namespace

// ---- named row passes -------------------------------------------------------

void ResizeLinearH_8u_C1_px(const Vp8u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                            Vp16s* out) {
    linearH8u<1, 128>(src, count, 1, colOffsets, colWeights, out);
}
void ResizeLinearH_8u_C3_px(const Vp8u* src, int count, int nChannels, const int* colOffsets,
                            const Vp16u* colWeights, Vp16s* out) {
    linearH8u<3, 128>(src, count, nChannels, colOffsets, colWeights, out);
}
void ResizeLinearH_8u_C4_px(const Vp8u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                            Vp16s* out) {
    linearH8u<4, 128>(src, count, 4, colOffsets, colWeights, out);
}
void ResizeLinearH_16u_C1_px(const Vp16u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                             Vp16u* out) {
    linearH16u<1>(src, count, 1, colOffsets, colWeights, out);
}
void ResizeLinearH_16u_C3_px(const Vp16u* src, int count, int nChannels, const int* colOffsets,
                             const Vp16u* colWeights, Vp16u* out) {
    linearH16u<3>(src, count, nChannels, colOffsets, colWeights, out);
}
void ResizeLinearH_16u_C4_px(const Vp16u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                             Vp16u* out) {
    linearH16u<4>(src, count, 4, colOffsets, colWeights, out);
}
void ResizeLinearH_32f_C1_px(const Vp32f* src, int count, const int* colOffsets, const float* colWeights,
                             float* out) {
    linearH32f<1>(src, count, 1, colOffsets, colWeights, out);
}
void ResizeLinearH_32f_C3_px(const Vp32f* src, int count, int nChannels, const int* colOffsets,
                             const float* colWeights, float* out) {
    linearH32f<3>(src, count, nChannels, colOffsets, colWeights, out);
}
void ResizeLinearH_32f_C4_px(const Vp32f* src, int count, const int* colOffsets, const float* colWeights,
                             float* out) {
    linearH32f<4>(src, count, 4, colOffsets, colWeights, out);
}

void ResizeLinearV_8u_px(Vp8u* dst, int count, int a, const Vp16s* upper, const Vp16s* lower) {
    // Weights (at most 16384) and ring values fit 16 bits; products are formed in 32.
    const Vp16s wu = static_cast<Vp16s>(16384 - a);
    const Vp16s wl = static_cast<Vp16s>(a);
    int v = 0;
    for (; v + 16 <= count; v += 16) {
        int value[16];
        for (int k = 0; k < 16; ++k) {
            value[k] = (static_cast<int>(wu) * upper[v + k] + static_cast<int>(wl) * lower[v + k] + 524288) >> 20;
        }
        for (int k = 0; k < 16; ++k) dst[v + k] = static_cast<Vp8u>(value[k]);
    }
    for (; v < count; ++v) dst[v] = linearV8u(a, upper[v], lower[v]);
}
void ResizeLinearV_16u_px(Vp16u* dst, int count, int a, const Vp16u* upper, const Vp16u* lower) {
    for (int v = 0; v < count; ++v) dst[v] = linearV16u(a, upper[v], lower[v]);
}
void ResizeLinearV_32f_px(Vp32f* dst, int count, float a, const float* upper, const float* lower) {
    const double wa = a;
    const double wu = 1.0 - wa;
    for (int v = 0; v < count; ++v) dst[v] = linearV32f(wa, wu, upper[v], lower[v]);
}
void ResizeLinearV_8u_AC4_px(Vp8u* dst, int count, int a, const Vp16s* upper, const Vp16s* lower) {
    for (int j = 0; j < count; ++j) {
        for (int c = 0; c < 3; ++c) dst[4 * j + c] = linearV8u(a, upper[3 * j + c], lower[3 * j + c]);
    }
}
void ResizeLinearV_16u_AC4_px(Vp16u* dst, int count, int a, const Vp16u* upper, const Vp16u* lower) {
    for (int j = 0; j < count; ++j) {
        for (int c = 0; c < 3; ++c) dst[4 * j + c] = linearV16u(a, upper[3 * j + c], lower[3 * j + c]);
    }
}
void ResizeLinearV_32f_AC4_px(Vp32f* dst, int count, float a, const float* upper, const float* lower) {
    const double wa = a;
    const double wu = 1.0 - wa;
    for (int j = 0; j < count; ++j) {
        for (int c = 0; c < 3; ++c) dst[4 * j + c] = linearV32f(wa, wu, upper[3 * j + c], lower[3 * j + c]);
    }
}

// ---- kernel table entries -------------------------------------------------

int ResizeLinear_8u_C3C4_px(VP_LINEAR_PARAMS) {
    return linearC3C4<Vp8u, Vp16s, Vp16u, Vp16u>(VP_LINEAR_ARGS, nChannels, layout, ResizeLinearH_8u_C3_px,
                                                  ResizeLinearH_8u_C4_px, ResizeLinearV_8u_px,
                                                  ResizeLinearV_8u_AC4_px);
}
int ResizeLinear_16u_C3C4_px(VP_LINEAR_PARAMS) {
    return linearC3C4<Vp16u, Vp16u, Vp16u, Vp16u>(VP_LINEAR_ARGS, nChannels, layout, ResizeLinearH_16u_C3_px,
                                                   ResizeLinearH_16u_C4_px, ResizeLinearV_16u_px,
                                                   ResizeLinearV_16u_AC4_px);
}
int ResizeLinear_32f_C3C4_px(VP_LINEAR_PARAMS) {
    return linearC3C4<Vp32f, float, float, float>(VP_LINEAR_ARGS, nChannels, layout, ResizeLinearH_32f_C3_px,
                                                   ResizeLinearH_32f_C4_px, ResizeLinearV_32f_px,
                                                   ResizeLinearV_32f_AC4_px);
}
int ResizeLinear_8u_C1_px(VP_LINEAR_PARAMS) {
    (void)nChannels;
    (void)layout;
    return linearC1<Vp8u, Vp16s, Vp16u, Vp16u>(VP_LINEAR_ARGS, ResizeLinearH_8u_C1_px, ResizeLinearV_8u_px);
}
int ResizeLinear_16u_C1_px(VP_LINEAR_PARAMS) {
    (void)nChannels;
    (void)layout;
    return linearC1<Vp16u, Vp16u, Vp16u, Vp16u>(VP_LINEAR_ARGS, ResizeLinearH_16u_C1_px, ResizeLinearV_16u_px);
}
int ResizeLinear_32f_C1_px(VP_LINEAR_PARAMS) {
    (void)nChannels;
    (void)layout;
    return linearC1<Vp32f, float, float, float>(VP_LINEAR_ARGS, ResizeLinearH_32f_C1_px, ResizeLinearV_32f_px);
}

