// a6 level of the image sums: bytes summed eight at a time by the MMX sum of
// absolute differences against zero.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/core/sum_body_a6.h"

namespace {

// Up to this many pixels one 32-bit accumulator holds the whole image's sum
// (255 * 0x808080 < 2^31); beyond it each row's sum goes to a double.
constexpr std::uint64_t kOneAccumulatorPixels = 0x808080;

std::uint32_t sumRow8u_a6(const Vp8u* p, int width) {
    std::uint32_t sum = 0;
    int i = 0;
    for (; i < width && (reinterpret_cast<std::uintptr_t>(p + i) & 7); ++i) sum += p[i];
    for (; i + 8 <= width; i += 8) {
        __m64 v;
        std::memcpy(&v, p + i, 8);
        sum += static_cast<std::uint32_t>(_mm_cvtsi64_si32(_mm_sad_pu8(v, _mm_setzero_si64())));
    }
    for (; i < width; ++i) sum += p[i];
    return sum;
}

double SumImage_8u_a6(const Vp8u* pSrc, int srcStep, int width, int height) {
    // The pixel count in 64 bits: a 32-bit product wraps for huge regions
    // and would put their sum into the overflowing single accumulator.
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    double total = 0.0;
    std::uint32_t whole = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t row = sumRow8u_a6(vp_px::rowAt(pSrc, srcStep, y), width);
        if (pixels <= kOneAccumulatorPixels)
            whole += row;
        else
            total += row;
    }
    _mm_empty();
    return pixels <= kOneAccumulatorPixels ? static_cast<double>(whole) : total;
}

}  // namespace

VP_DEFINE_SUM_ROUTINES(a6, SumImage_8u_a6)
