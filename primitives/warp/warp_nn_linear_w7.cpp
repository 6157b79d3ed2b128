// w7 nearest and linear row kernels, which serve t7 as well: source points in
// double precision (the same points as px), rounded with the SSE2 conversions;
// the one-channel float blend takes the rows first.
#include <emmintrin.h>

#include "primitives/warp/warp_nn_linear_simd.h"
#include "primitives/warp/warp_simd.h"

namespace {

struct W7Arith {
    using Point = double;
    template <int Planes, class PixelWork>
    static void walk(void* pDst, int dstStep, int firstRow, int lastRow, const WarpRowSpan* pSpans,
                     const WarpInverseCoeffs& c, PixelWork&& pixel) {
        warpWalkPixels<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, c, pixel);
    }
    static int nearest(double v) { return _mm_cvtsd_si32(_mm_set_sd(v)); }
    static int truncate(double v) { return _mm_cvttsd_si32(_mm_set_sd(v)); }
    static int q14(double fraction) { return nearest(16384.0 * fraction); }
    static constexpr bool kFloatRowsFirst = true;
};

}  // namespace

#define VP_WARP_DEFINE_W7(depthName, T, layoutName, code, stride, channels, planes) \
    VP_WARP_DEFINE_NN_LINEAR_SIMD(W7Arith, w7, depthName, T, layoutName, stride, channels, planes)
VP_WARP_FORMATS(VP_WARP_DEFINE_W7)
#undef VP_WARP_DEFINE_W7
