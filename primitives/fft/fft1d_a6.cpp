// a6 members of the one-dimensional FFT: direct limit 10, fused kernels up to
// order 9, the halving path for rows without a split entry (orders 11, 12).

#include <mmintrin.h>
#include <xmmintrin.h>

#define FFT_LEVEL(name) name##_a6
#define FFT_LEVEL_LAYOUT FFTLayout_a6
#define FFT_LEVEL_LAYOUT_DIRECT_LIMIT 10
#define FFT_LEVEL_FUSED_MAX 9
#define FFT_LEVEL_LAST_ODD 512
#define FFT_LEVEL_LAST_EVEN 1024
#define FFT_LEVEL_HALVING 1
#define FFT_LEVEL_ORDER2(name) name##_a6
#define FFT_LEVEL_DEFINES_SHARED_SMALL
#define FFT_LEVEL_DEFINES_ORDER2
#include "primitives/fft/fft_simd_1d_body.h"
