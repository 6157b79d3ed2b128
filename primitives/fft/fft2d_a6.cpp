// a6 members of the two-dimensional FFT. The buffer-size queries are the px
// routines (one and two dimensions), which a6 shares.

#include <mmintrin.h>
#include <xmmintrin.h>

#define FFT_LEVEL(name) name##_a6
#define FFT_LEVEL_LAYOUT FFTLayout_a6
#define FFT_LEVEL_GET_BUF_SIZE vpsFFTGetBufSize_C_32fc_px
#include "primitives/fft/fft_simd_2d_body.h"

VpStatus vpiFFTGetBufSize_C_32fc_a6(const VpiFFTSpec_C_32fc* pSpec, int* pBufSize) {
    return vpiFFTGetBufSize_C_32fc_px(pSpec, pBufSize);
}
