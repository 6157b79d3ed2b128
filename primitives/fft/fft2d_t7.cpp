// t7 members of the two-dimensional FFT. The buffer-size queries are the w7
// routines (one and two dimensions), which t7 shares.

#include <pmmintrin.h>

#define FFT_LEVEL(name) name##_t7
#define FFT_LEVEL_LAYOUT FFTLayout_t7
#define FFT_LEVEL_GET_BUF_SIZE vpsFFTGetBufSize_C_32fc_w7
#include "primitives/fft/fft_simd_2d_body.h"

VpStatus vpiFFTGetBufSize_C_32fc_t7(const VpiFFTSpec_C_32fc* pSpec, int* pBufSize) {
    return vpiFFTGetBufSize_C_32fc_w7(pSpec, pBufSize);
}
