// t7 members of the one-dimensional FFT: direct limit 16, fused kernels up to
// order 15 (the w7 kernels with the 65536-point stage added); order-2 kernels
// shared with w7.

#include <pmmintrin.h>

#define FFT_LEVEL(name) name##_t7
#define FFT_LEVEL_LAYOUT FFTLayout_t7
#define FFT_LEVEL_LAYOUT_DIRECT_LIMIT 16
#define FFT_LEVEL_FUSED_MAX 15
#define FFT_LEVEL_LAST_ODD 32768
#define FFT_LEVEL_LAST_EVEN 65536
#define FFT_LEVEL_HALVING 0
#define FFT_LEVEL_ORDER2(name) name##_w7
#include "primitives/fft/fft_simd_1d_body.h"
