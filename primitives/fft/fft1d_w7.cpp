// w7 members of the one-dimensional FFT: direct limit 15, fused kernels up to
// order 14; every large order splits.

#include <emmintrin.h>
#include <xmmintrin.h>

#define FFT_LEVEL(name) name##_w7
#define FFT_LEVEL_LAYOUT FFTLayout_w7
#define FFT_LEVEL_LAYOUT_DIRECT_LIMIT 15
#define FFT_LEVEL_FUSED_MAX 14
#define FFT_LEVEL_LAST_ODD 32768
#define FFT_LEVEL_LAST_EVEN 16384
#define FFT_LEVEL_HALVING 0
#define FFT_LEVEL_ORDER2(name) name##_w7
#define FFT_LEVEL_DEFINES_ORDER2
#include "primitives/fft/fft_simd_1d_body.h"

VpStatus vpsFFTGetBufSize_C_32fc_w7(const VpsFFTSpec_C_32fc* pSpec, int* pSize) {
    if (!pSize || !pSpec) return vpStsNullPtrErr;
    if (pSpec->idCtx != kFFTSpecIdComplex) return vpStsContextMatchErr;
    *pSize = pSpec->bufSize;
    return vpStsNoErr;
}
