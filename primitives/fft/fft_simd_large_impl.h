// Large-order paths of the a6, w7 and t7 levels, written once over a level
// policy Lv:
//   Lv::kDirectLimit          largest order of a direct sub-transform
//   Lv::kHalving              rows without a split entry take the a6 halving path
//   Lv::direct(fwd, data, len, twd, buf, interleaveOut)   the level's direct kernel
//   Lv::halving(fwd, spec, data, n, level, buf, top)      (when kHalving)
//
// Recursive path: the N points are a matrix of R = 2^s rows by C = 2^d
// columns. Every row is transformed in place and scaled at once, leaving it
// split by four; then every group of four columns is multiplied by the
// twiddle matrix on its way into the work area (interleaved), transformed
// there and written back: interleaved at the top depth, split by four below.
// Include only from a level's file.
#pragma once

#include <cstdint>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_simd_impl.h"

namespace fft_simd {

template <bool Fwd>
inline bool scaleFlag(const VpsFFTSpec_C_32fc* spec) {
    return (Fwd ? spec->fwdScaleFlag : spec->invScaleFlag) == 1;
}

// Four columns c0..c0+3 of R rows (split by four, row length C) times the
// matrix group, interleaved into the four work columns (column i at 2Ri floats).
template <bool Fwd>
void gatherColumns4(const float* data, float* work, const float* group, std::int64_t C, std::int64_t R) {
    alignas(16) float re[4], im[4];
    for (std::int64_t t = 0; t < R; ++t) {
        const V x = loadBlockU(data + 2 * C * t);
        const V p = cmul<Fwd>(x, _mm_load_ps(group + 8 * t), _mm_load_ps(group + 8 * t + 4));
        _mm_store_ps(re, p.re);
        _mm_store_ps(im, p.im);
        for (int i = 0; i < 4; ++i) {
            work[2 * (R * i + t)] = re[i];
            work[2 * (R * i + t) + 1] = im[i];
        }
    }
}

// The four transformed work columns (split by four) back into the rows:
// interleaved at the top depth, one split-by-four group per row below.
inline void scatterColumns4(float* data, const float* work, std::int64_t C, std::int64_t R, bool top) {
    for (std::int64_t t = 0; t < R; ++t) {
        float* x = data + 2 * C * t;
        const std::int64_t at = 8 * (t / 4) + t % 4;
        for (int i = 0; i < 4; ++i) {
            const float* column = work + 2 * R * i;
            if (top) {
                x[2 * i] = column[at];
                x[2 * i + 1] = column[at + 4];
            } else {
                x[i] = column[at];
                x[4 + i] = column[at + 4];
            }
        }
    }
}

template <class Lv, bool Fwd>
void recursive(const VpsFFTSpec_C_32fc* spec, float* data, int n, int depth, float* work, const int* split) {
    const int s = split[n];
    const int d = n - s;
    const std::int64_t R = std::int64_t{1} << s;
    const std::int64_t C = std::int64_t{1} << d;

    for (std::int64_t t = 0; t < R; ++t) {
        float* row = data + 2 * C * t;
        if (d <= Lv::kDirectLimit) {
            Lv::direct(Fwd, row, C, spec->pTwdDirect, work, 0);
            if (scaleFlag<Fwd>(spec)) scale(spec->normFactor, row, 2 * C);
        } else if (split[d] != 0) {
            recursive<Lv, Fwd>(spec, row, d, depth + 1, work, split);
        } else if constexpr (Lv::kHalving) {
            Lv::halving(Fwd, spec, row, C, spec->pTwdBlocked, work, 0);
        }
    }

    const float* matrix = spec->pTwdMatrix[depth];
    const float* splitTwd = spec->pTwdSplit[depth];
    for (std::int64_t c0 = 0; c0 < C; c0 += 4) {
        gatherColumns4<Fwd>(data + 2 * c0, work, matrix + 8 * R * (c0 / 4), C, R);
        for (int i = 0; i < 4; ++i) Lv::direct(Fwd, work + 2 * R * i, R, splitTwd, nullptr, 0);
        scatterColumns4(data + 2 * c0, work, C, R, depth == 0);
    }
}

template <class Lv, bool Fwd>
void large(const VpsFFTSpec_C_32fc* spec, float* data, int order, float* work, const int* split) {
    if (split[order] != 0) {
        recursive<Lv, Fwd>(spec, data, order, 0, work, split);
    } else if constexpr (Lv::kHalving) {
        Lv::halving(Fwd, spec, data, std::int64_t{1} << order, spec->pTwdBlocked, work, 1);
    }
}

// One radix-2 merge of two transformed halves (split by four) of n points:
// X[k] = A[k] + W B[k], X[k + n/2] = A[k] - W B[k]; W is level value k in the
// first quarter and level value k - n/4 times -i (forward) in the second.
// top: the results go to memory interleaved.
template <bool Fwd>
void mergeHalves(float* data, std::int64_t n, const float* level, bool top) {
    const std::int64_t Q = n / 4;
    float* A = data;
    float* B = data + n;  // n/2 complex values further on
    auto put = [top](float* p, V v) {
        if (top) {
            _mm_storeu_ps(p, _mm_unpacklo_ps(v.re, v.im));
            _mm_storeu_ps(p + 4, _mm_unpackhi_ps(v.re, v.im));
        } else {
            _mm_storeu_ps(p, v.re);
            _mm_storeu_ps(p + 4, v.im);
        }
    };
    const __m128 signBit = _mm_set1_ps(-0.0f);
    for (std::int64_t k = 0; k < Q; k += 4) {
        const __m128 wr = _mm_load_ps(level + 2 * k);
        const __m128 wi = _mm_load_ps(level + 2 * k + 4);
        for (int quarter = 0; quarter < 2; ++quarter) {
            const std::int64_t at = 2 * (k + quarter * Q);
            const V a = loadBlockU(A + at);
            const V b = loadBlockU(B + at);
            // w (-i) = (wi, -wr); the sign flip is exact.
            const V u = quarter == 0 ? cmul<Fwd>(b, wr, wi) : cmul<Fwd>(b, wi, _mm_xor_ps(wr, signBit));
            put(A + at, add(a, u));
            put(B + at, sub(a, u));
        }
    }
}

}  // namespace fft_simd
