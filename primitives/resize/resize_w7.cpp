// The SSE2 level (w7) of the resize primitives. Its cubic bodies convert with
// the packed SSE2 conversion; 8u and 16u four-channel cubic horizontal passes
// have no body at this level and run in scalar code.
#include <emmintrin.h>
#include <mmintrin.h>
#include <xmmintrin.h>

#include "primitives/core/memory.h"
#include "primitives/resize/resize_simd_level.h"

namespace {

struct ResizeLevelW7 {
    static constexpr bool kDivideThirds = false;
    static constexpr bool kIntegerC4HBody = false;
    static void roundToInt4(__m128 v, int out[4]) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_cvtps_epi32(v));
    }
    static void endBody() {}

    static const ResizeKernelEntry* kernels() { return ResizeKernelTable_w7; }
    static const ResizeSuperKernel (*superKernels())[3] { return ResizeSuperKernelTable_w7; }
    static void* allocFloat(int count) { return vpsMalloc_32f_px(count); }
    static double quotient(double num, double den) { return num * (1.0 / den); }
    // The reduction test is written as "not above 1.0": a NaN factor passes it.
    // Area averaging: lanes for one-channel runs and weighted rows of every
    // depth, float column sums in blocks of 16 with the rest in double.
    using SuperSums = SuperSumsSimd<0, true, true, true>;
    static constexpr bool kNaNReduces = true;
    static constexpr auto general = ResizeGeneral_w7;
    static constexpr auto superSampling = ResizeSuperSampling_w7;
};

}  // namespace

VP_RESIZE_SIMD_LEVEL_ALL(w7, ResizeLevelW7)
