// px small-order kernels: intermediate values in double (wider than single),
// rounded to single precision at the stores and where a kernel parks a value.

#include <cstring>

#include "primitives/fft/fft_px.h"
#include "primitives/fft/fft_small_impl.h"

namespace {

struct WideArith {
    typedef double T;
    static double park(double v) { return FFTRoundToSingle_px(v); }
};

}  // namespace

void FFTOrder0_px(const float* pSrc, float* pDst) {
    // A copy of the two 32-bit words: NaN payloads and signed zeros kept.
    unsigned char bytes[8];
    std::memcpy(bytes, pSrc, 8);
    std::memcpy(pDst, bytes, 8);
}

void FFTOrder0Scaled_px(const float* pSrc, float* pDst, float scale) {
    const double re = static_cast<double>(pSrc[0]) * scale;
    const double im = static_cast<double>(pSrc[1]) * scale;
    pDst[0] = static_cast<float>(re);
    pDst[1] = static_cast<float>(im);
}

void FFTOrder1_px(const float* pSrc, float* pDst) { fft_small::order1<WideArith>(pSrc, pDst, false, 0.0f); }
void FFTOrder1Scaled_px(const float* pSrc, float* pDst, float scale) {
    fft_small::order1<WideArith>(pSrc, pDst, true, scale);
}
void FFTFwdOrder2_px(const float* pSrc, float* pDst) { fft_small::order2<WideArith, true>(pSrc, pDst, false, 0.0f); }
void FFTInvOrder2_px(const float* pSrc, float* pDst) { fft_small::order2<WideArith, false>(pSrc, pDst, false, 0.0f); }
void FFTFwdOrder2Scaled_px(const float* pSrc, float* pDst, float scale) {
    fft_small::order2<WideArith, true>(pSrc, pDst, true, scale);
}
void FFTInvOrder2Scaled_px(const float* pSrc, float* pDst, float scale) {
    fft_small::order2<WideArith, false>(pSrc, pDst, true, scale);
}
void FFTFwdOrder3_px(const float* pSrc, float* pDst) { fft_small::order3<WideArith, true>(pSrc, pDst, false, 0.0f); }
void FFTInvOrder3_px(const float* pSrc, float* pDst) { fft_small::order3<WideArith, false>(pSrc, pDst, false, 0.0f); }
void FFTFwdOrder3Scaled_px(const float* pSrc, float* pDst, float scale) {
    fft_small::order3<WideArith, true>(pSrc, pDst, true, scale);
}
void FFTInvOrder3Scaled_px(const float* pSrc, float* pDst, float scale) {
    fft_small::order3<WideArith, false>(pSrc, pDst, true, scale);
}

const FFTSmallOrderTable FFTFwdSmallOrderTable_px = {
    {FFTOrder0Scaled_px, FFTOrder1Scaled_px, FFTFwdOrder2Scaled_px, FFTFwdOrder3Scaled_px},
    {FFTOrder0_px, FFTOrder1_px, FFTFwdOrder2_px, FFTFwdOrder3_px},
};

const FFTSmallOrderTable FFTInvSmallOrderTable_px = {
    {FFTOrder0Scaled_px, FFTOrder1Scaled_px, FFTInvOrder2Scaled_px, FFTInvOrder3Scaled_px},
    {FFTOrder0_px, FFTOrder1_px, FFTInvOrder2_px, FFTInvOrder3_px},
};
