// a6 nearest and linear row kernels: source points in single precision
// (float coefficients, float sums along the rows), rounded with the SSE
// conversions; the one-channel float blend takes the columns first.
#include <xmmintrin.h>

#include "primitives/warp/warp_nn_linear_simd.h"
#include "primitives/warp/warp_simd.h"

namespace {

struct A6Arith {
    using Point = float;
    template <int Planes, class PixelWork>
    static void walk(void* pDst, int dstStep, int firstRow, int lastRow, const WarpRowSpan* pSpans,
                     const WarpInverseCoeffs& c, PixelWork&& pixel) {
        warpWalkPixelsSingle<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, c, pixel);
    }
    static int nearest(float v) { return warpNearestFloat(v); }
    static int truncate(float v) { return warpTruncFloat(v); }
    static int q14(float fraction) { return warpNearestFloat(16384.0f * fraction); }
    static constexpr bool kFloatRowsFirst = false;
};

}  // namespace

#define VP_WARP_DEFINE_A6(depthName, T, layoutName, code, stride, channels, planes) \
    VP_WARP_DEFINE_NN_LINEAR_SIMD(A6Arith, a6, depthName, T, layoutName, stride, channels, planes)
VP_WARP_FORMATS(VP_WARP_DEFINE_A6)
#undef VP_WARP_DEFINE_A6
