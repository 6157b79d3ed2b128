// Median filter, level a6: the fixed masks run the kernels over 8-byte MMX
// vectors with the SSE byte minimum and maximum.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstring>

#include "primitives/core/level_routines.h"

#define VP_LEVEL_NAME(name) name##_a6
#define VP_LEVEL_COPY_8U vpiCopy_8u_C1R_a6

namespace {

struct Bytes {
    using V = __m64;
    static constexpr int kLanes = 8;
    static V load(const Vp8u* p) {
        V v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(Vp8u* p, V v) { std::memcpy(p, &v, sizeof v); }
    static void stream(Vp8u* p, V v) { _mm_stream_pi(reinterpret_cast<__m64*>(p), v); }
    static V min(V a, V b) { return _mm_min_pu8(a, b); }
    static V max(V a, V b) { return _mm_max_pu8(a, b); }
    static void finish() {
        _mm_sfence();
        _mm_empty();
    }
};

}  // namespace

#include "primitives/filters/median_body.h"
