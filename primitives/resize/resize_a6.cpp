// The MMX/SSE level (a6) of the resize primitives. Float work in SSE registers;
// integer conversions of the cubic bodies through MMX registers, whose state is
// cleared after each body.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/resize/resize_simd_level.h"

namespace {

struct ResizeLevelA6 {
    static constexpr bool kDivideThirds = false;
    static constexpr bool kIntegerC4HBody = true;
    static void roundToInt4(__m128 v, int out[4]) {
        const __m64 lo = _mm_cvtps_pi32(v);
        const __m64 hi = _mm_cvtps_pi32(_mm_movehl_ps(v, v));
        std::memcpy(out, &lo, 8);
        std::memcpy(out + 2, &hi, 8);
    }
    static void endBody() { _mm_empty(); }

    static const ResizeKernelEntry* kernels() { return ResizeKernelTable_a6; }
    static const ResizeSuperKernel (*superKernels())[3] { return ResizeSuperKernelTable_a6; }
    static void* allocFloat(int count) { return vpsMalloc_32f_px(count); }
    static double quotient(double num, double den) { return num * (1.0 / den); }
    // Area averaging: lanes for one-channel runs, integer weighted rows and
    // column sums as px.
    using SuperSums = SuperSumsSimd<0, true, false, false>;
    static constexpr bool kNaNReduces = false;
    static constexpr auto general = ResizeGeneral_a6;
    static constexpr auto superSampling = ResizeSuperSampling_a6;
};

}  // namespace

VP_RESIZE_SIMD_LEVEL_ALL(a6, ResizeLevelA6)
