// w7 members of the two-dimensional FFT.

#include <emmintrin.h>
#include <xmmintrin.h>

#define FFT_LEVEL(name) name##_w7
#define FFT_LEVEL_LAYOUT FFTLayout_w7
#define FFT_LEVEL_GET_BUF_SIZE vpsFFTGetBufSize_C_32fc_w7
#include "primitives/fft/fft_simd_2d_body.h"

VpStatus vpiFFTGetBufSize_C_32fc_w7(const VpiFFTSpec_C_32fc* pSpec, int* pBufSize) {
    return fft2d::getBufSize<Level2D>(pSpec, pBufSize);
}
