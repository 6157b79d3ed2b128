// px transforms of orders above 10, on data already in bit-reversed order.
//
// Recursive path: the N points are a matrix of R = 2^s rows by C = 2^d
// columns (s from the split table). Every row is transformed in place (and
// scaled, so that each value is scaled exactly once), then the columns are
// gathered four at a time into the work area, multiplied by the twiddle
// matrix, transformed there and written back.
//
// Blocked path (2048 and 4096 points): 1024-point direct blocks, merged
// pairwise by radix-2 passes.
//
// Twiddle products are formed in double and rounded once per stored component.

#include <cstdint>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_px.h"

namespace {

constexpr int kDirectLimitPx = 10;
constexpr int kBlockLen = 1 << kFFTBlockOrder;

template <bool Fwd>
inline bool scaleFlag(const VpsFFTSpec_C_32fc* spec) {
    return (Fwd ? spec->fwdScaleFlag : spec->invScaleFlag) == 1;
}

template <bool Fwd>
inline void direct(float* data, int len, const float* tw) {
    if (Fwd) {
        FFTFwdDirect_px(data, len, tw);
    } else {
        FFTInvDirect_px(data, len, tw);
    }
}

template <bool Fwd>
void blocked(const VpsFFTSpec_C_32fc* spec, float* data, int N) {
    for (int b = N / kBlockLen - 1; b >= 0; --b) {
        float* block = data + 2 * static_cast<std::int64_t>(b) * kBlockLen;
        direct<Fwd>(block, kBlockLen, spec->pTwdDirect);
        if (scaleFlag<Fwd>(spec)) FFTScale_px(spec->normFactor, block, 2 * kBlockLen);
    }
    FFTCombinePass_px(data, N, kBlockLen, spec->pTwdBlocked, Fwd ? 1 : 0, 256);
}

template <bool Fwd>
void recursive(const VpsFFTSpec_C_32fc* spec, float* data, int n, int depth, float* work, const int* split) {
    const int s = split[n];
    const int d = n - s;
    const std::int64_t R = std::int64_t{1} << s;
    const std::int64_t C = std::int64_t{1} << d;

    // Rows, each scaled right after its transform.
    for (std::int64_t t = 0; t < R; ++t) {
        float* row = data + 2 * C * t;
        if (d <= kDirectLimitPx) {
            direct<Fwd>(row, static_cast<int>(C), spec->pTwdDirect);
            if (scaleFlag<Fwd>(spec)) FFTScale_px(spec->normFactor, row, static_cast<int>(2 * C));
        } else if (split[d] != 0) {
            recursive<Fwd>(spec, row, d, depth + 1, work, split);
        } else {
            blocked<Fwd>(spec, row, static_cast<int>(C));
        }
    }

    // Columns, four at a time through the work area (column i at 2R*i floats).
    const float* matrix = spec->pTwdMatrix[depth];
    const float* splitTwd = spec->pTwdSplit[depth];
    for (std::int64_t c0 = 0; c0 < C; c0 += 4) {
        const float* group = matrix + 8 * R * (c0 / 4);
        for (std::int64_t t = 0; t < R; ++t) {
            const float* x = data + 2 * (C * t + c0);
            const float* w = group + 8 * t;
            for (int i = 0; i < 4; ++i) {
                const double xr = x[2 * i], xi = x[2 * i + 1];
                const double wr = w[2 * i], wi = w[2 * i + 1];
                double re, im;
                if (Fwd) {
                    re = wr * xr - wi * xi;
                    im = wr * xi + wi * xr;
                } else {
                    re = wr * xr + wi * xi;
                    im = wr * xi - wi * xr;
                }
                float* out = work + 2 * (R * i + t);
                out[0] = static_cast<float>(re);
                out[1] = static_cast<float>(im);
            }
        }
        for (int i = 0; i < 4; ++i) direct<Fwd>(work + 2 * R * i, static_cast<int>(R), splitTwd);
        for (std::int64_t t = 0; t < R; ++t) {
            float* x = data + 2 * (C * t + c0);
            for (int i = 0; i < 4; ++i) {
                const float* in = work + 2 * (R * i + t);
                x[2 * i] = in[0];
                x[2 * i + 1] = in[1];
            }
        }
    }
}

template <bool Fwd>
void large(const VpsFFTSpec_C_32fc* spec, float* data, int order, float* work, const int* split) {
    if (split[order] != 0) {
        recursive<Fwd>(spec, data, order, 0, work, split);
    } else {
        blocked<Fwd>(spec, data, 1 << order);
    }
}

}  // namespace

void FFTFwdLarge_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work) {
    large<true>(pSpec, data, order, work, FFTSplitTable_px);
}
void FFTInvLarge_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work) {
    large<false>(pSpec, data, order, work, FFTSplitTable_px);
}
void FFTFwdRecursive_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work) {
    recursive<true>(pSpec, data, order, depth, work, FFTSplitTable_px);
}
void FFTInvRecursive_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work) {
    recursive<false>(pSpec, data, order, depth, work, FFTSplitTable_px);
}
void FFTFwdBlocked_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float*) { blocked<true>(pSpec, data, N); }
void FFTInvBlocked_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float*) {
    blocked<false>(pSpec, data, N);
}

void FFTLargeWithSplitTable_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work, bool forward,
                                const int* splitTable) {
    if (forward) {
        large<true>(pSpec, data, order, work, splitTable);
    } else {
        large<false>(pSpec, data, order, work, splitTable);
    }
}

void FFTCombinePass_px(float* data, int n, int blockLen, const float* pQuarter, int direction, int slice) {
    const bool fwd = direction > 0;
    const int sliceLen = slice / 2;  // butterflies per slice
    for (int L = blockLen; L < n; L *= 2) {
        const int half = L / 2;
        const int stride = n / (2 * L);  // quarter-table entries per k
        for (int k0 = 0; k0 < half; k0 += sliceLen) {
            const int k1 = (k0 + sliceLen < half) ? k0 + sliceLen : half;
            for (std::int64_t base = 0; base < n; base += 2 * L) {
                float* A = data + 2 * base;
                float* B = A + 2 * L;
                for (int k = k0; k < k1; ++k) {
                    const float* q = pQuarter + 2 * static_cast<std::int64_t>(k) * stride;
                    const double wr = q[0];
                    const double wi = fwd ? q[1] : -static_cast<double>(q[1]);
                    // W_k for this k, and W_(k + L/2) = W_k * (-i) forward, * (+i) inverse.
                    const double vr = fwd ? wi : -wi;
                    const double vi = fwd ? -wr : wr;
                    for (int h = 0; h < 2; ++h) {
                        const std::int64_t kk = k + h * half;
                        const double tr = h ? vr : wr;
                        const double ti = h ? vi : wi;
                        const double ar = A[2 * kk], ai = A[2 * kk + 1];
                        const double br = B[2 * kk], bi = B[2 * kk + 1];
                        const double pr = tr * br - ti * bi;
                        const double pi = tr * bi + ti * br;
                        A[2 * kk] = static_cast<float>(ar + pr);
                        A[2 * kk + 1] = static_cast<float>(ai + pi);
                        B[2 * kk] = static_cast<float>(ar - pr);
                        B[2 * kk + 1] = static_cast<float>(ai - pi);
                    }
                }
            }
        }
    }
}
