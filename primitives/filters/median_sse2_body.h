// The median kernels over 16-byte SSE2 vectors: the body of the w7 and t7
// levels (the same code, built at each level).
#pragma once

#include <emmintrin.h>

#include "primitives/core/vp_types.h"

namespace {

struct Bytes {
    using V = __m128i;
    static constexpr int kLanes = 16;
    static V load(const Vp8u* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void store(Vp8u* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static void stream(Vp8u* p, V v) { _mm_stream_si128(reinterpret_cast<__m128i*>(p), v); }
    static V min(V a, V b) { return _mm_min_epu8(a, b); }
    static V max(V a, V b) { return _mm_max_epu8(a, b); }
    static void finish() { _mm_sfence(); }
};

}  // namespace

#include "primitives/filters/median_body.h"
