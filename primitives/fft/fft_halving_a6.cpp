// a6 blocked path for 2048 and 4096 points (orders 11 and 12, alone or as the
// rows of orders 21 and 22): the halving recursion down to 1024-point direct
// halves (split by four, scaled at once), then one radix-2 merge per level
// with that level's FFTHalvingTwiddles.

#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_simd.h"
#include "primitives/fft/fft_simd_large_impl.h"

namespace {

constexpr int kHalfLen = 1 << kFFTBlockOrder;

template <bool Fwd>
void halving(const VpsFFTSpec_C_32fc* spec, float* data, int n, const float* level, float* work, int top) {
    if (n / 2 == kHalfLen) {
        for (int h = 0; h < 2; ++h) {
            float* half = data + 2 * static_cast<std::int64_t>(h) * kHalfLen;
            if (Fwd) {
                FFTFwdDirect_a6(half, kHalfLen, spec->pTwdDirect, work, 0);
            } else {
                FFTInvDirect_a6(half, kHalfLen, spec->pTwdDirect, work, 0);
            }
            if (fft_simd::scaleFlag<Fwd>(spec)) FFTScale_a6(spec->normFactor, half, 2 * kHalfLen);
        }
    } else {
        const float* next = level + n / 2;  // n/4 complex values further on
        halving<Fwd>(spec, data, n / 2, next, work, 0);
        halving<Fwd>(spec, data + n, n / 2, next, work, 0);
    }
    fft_simd::mergeHalves<Fwd>(data, n, level, top != 0);
}

}  // namespace

void FFTFwdHalving_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int n, const float* level, float* work, int top) {
    halving<true>(pSpec, data, n, level, work, top);
}
void FFTInvHalving_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int n, const float* level, float* work, int top) {
    halving<false>(pSpec, data, n, level, work, top);
}
void FFTFwdMergeHalves_a6(float* data, int n, const float* level, int top) {
    fft_simd::mergeHalves<true>(data, n, level, top != 0);
}
void FFTInvMergeHalves_a6(float* data, int n, const float* level, int top) {
    fft_simd::mergeHalves<false>(data, n, level, top != 0);
}
void FFTFwdBlocked_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float* work) {
    halving<true>(pSpec, data, N, pSpec->pTwdBlocked, work, 1);
}
void FFTInvBlocked_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float* work) {
    halving<false>(pSpec, data, N, pSpec->pTwdBlocked, work, 1);
}
float* FFTBuildHalvingTwiddles_a6(int order, const float* pSine, int sineOrder) {
    return FFTBuildHalvingTwiddles(order, pSine, sineOrder);
}
