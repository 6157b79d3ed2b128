// One float moved between memory and the low lane of an SSE register. Rows
// at the SIMD levels may lie at any byte step, so a float of a row need not
// sit on the 4-byte grid: it is moved as bytes (the same single load or
// store once compiled) instead of through a float pointer.
#pragma once

#include <xmmintrin.h>

#include <cstring>

inline __m128 loadScalarLane(const float* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return _mm_set_ss(v);
}

inline void storeScalarLane(float* p, __m128 x) {
    const float v = _mm_cvtss_f32(x);
    std::memcpy(p, &v, sizeof v);
}
