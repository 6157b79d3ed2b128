// px level of the depth conversions between 8-bit and float pixels.
#include <bit>
#include <cstdint>
#include <cstring>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

// Saturates to 0..255: values at or above 255 give 255; zero, negative values
// and NaN give 0 (the first comparison fails for NaN). Written as a lower
// then an upper bound, it compiles to fewer vector operations than one
// nested selection.
inline Vp32f saturated(Vp32f x) {
    const Vp32f atLeastZero = x > 0.0f ? x : 0.0f;
    return atLeastZero < 255.0f ? atLeastZero : 255.0f;
}

// The nearest integer to 0 <= s <= 255, halves to the even neighbour, through
// exact operations only, so the processor's rounding mode plays no part:
// e = trunc(s), and the fraction s - e is exact. e + 1 when the fraction is
// above one half, or is one half and e is odd. The fraction is not negative,
// so its bit pattern orders as it does; adding e's low bit to the pattern
// turns "exactly one half" into "above one half" for odd e.
inline std::int32_t nearestOf(Vp32f s) {
    const std::int32_t e = static_cast<std::int32_t>(s);
    const Vp32f fraction = s - static_cast<Vp32f>(e);
    std::int32_t pattern;
    std::memcpy(&pattern, &fraction, sizeof pattern);
    constexpr std::int32_t kHalf = 0x3F000000;  // 0.5f
    return e + ((pattern + (e & 1)) > kHalf ? 1 : 0);
}

inline std::int32_t truncatedOf(Vp32f s) { return static_cast<std::int32_t>(s); }

// A row runs in three passes over short runs: saturate, round to 32-bit
// integers, keep their low bytes. Kept apart, each loop is free of branches
// and the compiler vectorises it; the low bytes are read as every fourth byte
// of the integers, which it packs with byte moves instead of widening steps.
static_assert(std::endian::native == std::endian::little, "the low byte of an integer is its first");

template <std::int32_t (*Round)(Vp32f)>
void convertRow(const Vp32f* __restrict src, Vp8u* __restrict dst, int width) {
    constexpr int kRun = 256;
    Vp32f clamped[kRun];
    std::int32_t values[kRun];
    const Vp8u* lowBytes = reinterpret_cast<const Vp8u*>(values);
    for (int start = 0; start < width; start += kRun) {
        const int n = width - start < kRun ? width - start : kRun;
        for (int x = 0; x < n; ++x) clamped[x] = saturated(src[start + x]);
        for (int x = 0; x < n; ++x) values[x] = Round(clamped[x]);
        for (int x = 0; x < n; ++x) dst[start + x] = lowBytes[4 * x];
    }
}

}  // namespace

VpStatus vpiConvert_8u32f_C1R_px(const Vp8u* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp8u* s = rowAt(pSrc, srcStep, y);
        Vp32f* d = rowAt(pDst, dstStep, y);
        for (int x = 0; x < roiSize.width; ++x) d[x] = static_cast<Vp32f>(s[x]);
    }
    return vpStsNoErr;
}

VpStatus vpiConvert_32f8u_C1R_px(const Vp32f* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize,
                                 VpRoundMode roundMode) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        Vp8u* d = rowAt(pDst, dstStep, y);
        if (roundMode == vpRndNear)
            convertRow<nearestOf>(s, d, roiSize.width);
        else
            convertRow<truncatedOf>(s, d, roiSize.width);
    }
    return vpStsNoErr;
}
