// The SSE3 level (t7) of the resize primitives. It differs from w7 in results
// in two places: its scalar cubic code divides by 2.0 and 3.0 instead of
// multiplying by 0.5 and one third, and its general driver divides directly
// where the other levels multiply by a rounded reciprocal (so a region of 50
// columns at factor 1.0 gets a step of exactly 1.0).
#include <emmintrin.h>
#include <mmintrin.h>
#include <pmmintrin.h>
#include <xmmintrin.h>

#include "primitives/core/memory.h"
#include "primitives/resize/resize_simd_level.h"

namespace {

struct ResizeLevelT7 {
    static constexpr bool kDivideThirds = true;
    static constexpr bool kIntegerC4HBody = true;
    static void roundToInt4(__m128 v, int out[4]) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_cvtps_epi32(v));
    }
    static void endBody() {}

    static const ResizeKernelEntry* kernels() { return ResizeKernelTable_t7; }
    static const ResizeSuperKernel (*superKernels())[3] { return ResizeSuperKernelTable_t7; }
    static void* allocFloat(int count) { return vpsMalloc_32f_t7(count); }
    static double quotient(double num, double den) { return num / den; }
    // Area averaging as w7, with lanes only for runs of 11 or more entries,
    // combined (0 + 1) + (2 + 3).
    using SuperSums = SuperSumsSimd<11, false, true, true>;
    static constexpr bool kNaNReduces = true;
    static constexpr auto general = ResizeGeneral_t7;
    static constexpr auto superSampling = ResizeSuperSampling_t7;
};

}  // namespace

VP_RESIZE_SIMD_LEVEL_ALL(t7, ResizeLevelT7)
