// Linear resize row drivers, plain code. A horizontal pass resamples a source
// row into one of two ring rows; a vertical pass blends the ring rows of source
// rows r and r + 1 into a destination row. px rounds to nearest in both passes
// (8u, 16u) and evaluates float formulas in double with one rounding at the store.
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// 8-bit three channels: (s0 * w0 + s1 * w1 + 128) >> 8 per value, in two
// loops per run of columns so that the arithmetic runs over contiguous data:
// the first gathers each column's two sample groups into byte rows, the second
// weighs them with the column weights spread to one pair per value. The
// spread weights are formed once per call for rows of up to kLinearColumns
// columns (wider rows form them per row, that many columns at a time).
//
// When every pair of the row sums to 16384 (as the resize tables make them),
// the value is 64 s0 + ((s1 - s0) w1 + 128) >> 8, and with w1 = 128 a + b
// (a <= 128, b < 128) and t = s1 - s0:
//   ((t w1 + 128) >> 8) = (a t + ((b t) >> 7) + 1) >> 1,
// since t w1 + 128 = 128 (a t + 1) + b t, and halving after the floor by 128
// is the floor by 256. |a t| <= 32640 and a t + ((b t) >> 7) + 1 stays within
// 16 bits (a = 128 only with b = 0), so the arithmetic runs in 16-bit lanes.
// The spread weights are then a and b instead of w0 and w1.
constexpr int kLinearColumns = 1024;

// Whether every column's weight pair sums to 16384.
bool allUnitPairs(const Vp16u* colWeights, int width) {
    bool unit = true;
    for (int q = 0; q < width; ++q) unit = unit && colWeights[2 * q] + colWeights[2 * q + 1] == 16384;
    return unit;
}

struct LinearC3Scratch {
    Vp16s w0[3 * kLinearColumns];  // w0, or a = w1 >> 7 for unit pairs
    Vp16s w1[3 * kLinearColumns];  // w1, or b = w1 & 127 for unit pairs
    Vp8u left[3 * kLinearColumns + 1];  // one byte of slack for four-byte moves
    Vp8u right[3 * kLinearColumns + 1];
    int first = 0;  // columns first .. first + count - 1 have their weights spread
    int count = 0;
    bool known = false;  // the row facts below are set
    int lastOffset = 0;  // the largest column offset of the row (offsets may be negative)
    int wideColumns = 0;  // columns 0 .. wideColumns - 1 may read eight bytes from their offset
    bool unitPairs = false;  // every weight pair of the row sums to 16384

    // Facts of the whole row, formed on the first pass of a call.
    void learn(int width, int d, const int* colOffsets, const Vp16u* colWeights) {
        lastOffset = colOffsets[0];
        for (int q = 1; q < width; ++q) lastOffset = colOffsets[q] > lastOffset ? colOffsets[q] : lastOffset;
        // The last sample a row pass reads is at lastOffset + d + 2; eight
        // bytes from offset o end at o + 7.
        wideColumns = 0;
        while (wideColumns < width && colOffsets[wideColumns] <= lastOffset + d - 5) ++wideColumns;
        unitPairs = allUnitPairs(colWeights, width);
        known = true;
    }

    void hold(int j, int width, int d, const int* colOffsets, const Vp16u* colWeights) {
        if (!known) learn(width, d, colOffsets, colWeights);
        first = j;
        count = width - j < kLinearColumns ? width - j : kLinearColumns;
        for (int q = 0; q < count; ++q) {
            const int p0 = colWeights[2 * (j + q)];
            const int p1 = colWeights[2 * (j + q) + 1];
            for (int c = 0; c < 3; ++c) {
                w0[3 * q + c] = static_cast<Vp16s>(unitPairs ? p1 >> 7 : p0);
                w1[3 * q + c] = static_cast<Vp16s>(unitPairs ? p1 & 127 : p1);
            }
        }
    }
};

// The two sample groups of n columns into byte rows. Columns below wideEnd
// read eight bytes at their offset, which hold both groups (the right one d
// elements on); the others move four bytes of the left group (it is followed
// by at least its right group) and four of the right group when a column
// further right exists (the extra byte lands in the next column's slot or the
// slack).
void gatherGroups(const Vp8u* src, int d, const int* __restrict offsets, int n, int wideEnd, int lastOffset,
                  Vp8u* __restrict left, Vp8u* __restrict right) {
    const int shift = 8 * d;
    int q = 0;
#pragma GCC unroll 4
    for (; q < wideEnd; ++q) {
        std::uint64_t both;
        std::memcpy(&both, src + offsets[q], 8);
        const std::uint32_t l = static_cast<std::uint32_t>(both);
        const std::uint32_t r = static_cast<std::uint32_t>(both >> shift);
        std::memcpy(left + 3 * q, &l, 4);
        std::memcpy(right + 3 * q, &r, 4);
    }
    for (; q < n; ++q) {
        const Vp8u* s = src + offsets[q];
        std::memcpy(left + 3 * q, s, 4);
        if (offsets[q] < lastOffset) {
            std::memcpy(right + 3 * q, s + d, 4);
        } else {
            for (int c = 0; c < 3; ++c) right[3 * q + c] = s[d + c];
        }
    }
}

void weighGroups(const Vp8u* __restrict l, const Vp8u* __restrict r, const Vp16s* __restrict w0,
                 const Vp16s* __restrict w1, int values, Vp16s* __restrict out) {
    for (int v = 0; v < values; ++v) {
        out[v] = static_cast<Vp16s>((static_cast<int>(l[v]) * w0[v] + static_cast<int>(r[v]) * w1[v] + 128) >> 8);
    }
}

// The same values for unit pairs, from the split weights a and b.
void weighGroupsUnit(const Vp8u* __restrict l, const Vp8u* __restrict r, const Vp16s* __restrict a,
                     const Vp16s* __restrict b, int values, Vp16s* __restrict out) {
    for (int v = 0; v < values; ++v) {
        const Vp16s s0 = l[v];
        const Vp16s t = static_cast<Vp16s>(r[v] - s0);
        const Vp16s high = static_cast<Vp16s>(a[v] * t);
        const Vp16s low = static_cast<Vp16s>(static_cast<Vp16s>(b[v] * t) >> 7);
        const Vp16s step = static_cast<Vp16s>(static_cast<Vp16s>(high + low + 1) >> 1);
        out[v] = static_cast<Vp16s>(s0 * 64 + step);
    }
}

void linearH8uC3(const Vp8u* src, int count, int d, const int* colOffsets, const Vp16u* colWeights,
                 LinearC3Scratch& sc, Vp16s* out) {
    int j = 0;
    while (j < count) {
        if (!sc.known || j < sc.first || j >= sc.first + sc.count) sc.hold(j, count, d, colOffsets, colWeights);
        const int n = sc.first + sc.count - j;
        const int q0 = j - sc.first;
        const int wide = sc.wideColumns <= j ? 0 : (sc.wideColumns - j < n ? sc.wideColumns - j : n);
        gatherGroups(src, d, colOffsets + j, n, wide, sc.lastOffset, sc.left, sc.right);
        Vp16s* o = out + 3 * static_cast<std::ptrdiff_t>(j);
        if (sc.unitPairs) {
            weighGroupsUnit(sc.left, sc.right, sc.w0 + 3 * q0, sc.w1 + 3 * q0, 3 * n, o);
        } else {
            weighGroups(sc.left, sc.right, sc.w0 + 3 * q0, sc.w1 + 3 * q0, 3 * n, o);
        }
        j += n;
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

// The 8-bit vertical blend for ring values u, l in [0, 16383] (rows of unit
// pairs end at 16320) and 0 <= a < 16384, in 16-bit lanes. With t = l - u,
//   ((16384 - a) u + a l + 2^19) >> 20 = floor((u + 32 + t a / 2^14) / 64)
//                                      = (u + 32 + floor(t a / 2^14)) >> 6,
// as u + 32 is whole; floor(t a / 2^14) is the high half of (2 t)(2 a), both
// factors within 16 bits, and u + floor(t a / 2^14) lies between u and l.
void linearV8uNarrow(Vp8u* __restrict dst, int count, int a, const Vp16s* __restrict upper,
                     const Vp16s* __restrict lower) {
    const Vp16s a2 = static_cast<Vp16s>(2 * a);
    for (int v = 0; v < count; ++v) {
        const Vp16s u = upper[v];
        const Vp16s t2 = static_cast<Vp16s>((lower[v] - u) * 2);
        const Vp16s f = static_cast<Vp16s>((static_cast<int>(t2) * a2) >> 16);
        dst[v] = static_cast<Vp8u>(static_cast<Vp16s>(u + f + 32) >> 6);
    }
}

}  // namespace

// ---- named row passes -------------------------------------------------------

void ResizeLinearH_8u_C1_px(const Vp8u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                            Vp16s* out) {
    linearH8u<1, 128>(src, count, 1, colOffsets, colWeights, out);
}
void ResizeLinearH_8u_C3_px(const Vp8u* src, int count, int nChannels, const int* colOffsets,
                            const Vp16u* colWeights, Vp16s* out) {
    LinearC3Scratch scratch;
    linearH8uC3(src, count, nChannels, colOffsets, colWeights, scratch, out);
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
    // The horizontal passes of one call share one scratch, so that the weights
    // are spread once per call.
    LinearC3Scratch scratch;
    auto h3 = [&](const Vp8u* row, int width, int d, const int* offsets, const Vp16u* weights, Vp16s* out) {
        linearH8uC3(row, width, d, offsets, weights, scratch, out);
    };
    // Unit pairs keep the ring values within [0, 16320], which the narrow
    // vertical blend takes.
    const bool unitPairs = allUnitPairs(static_cast<const Vp16u*>(colWeights), dstWidth);
    auto v = [unitPairs](Vp8u* out, int count, int a, const Vp16s* upper, const Vp16s* lower) {
        if (unitPairs && a >= 0 && a < 16384) {
            linearV8uNarrow(out, count, a, upper, lower);
        } else {
            ResizeLinearV_8u_px(out, count, a, upper, lower);
        }
    };
    return linearC3C4<Vp8u, Vp16s, Vp16u, Vp16u>(VP_LINEAR_ARGS, nChannels, layout, h3, ResizeLinearH_8u_C4_px, v,
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

