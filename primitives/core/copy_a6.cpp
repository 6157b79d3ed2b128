// a6 level of the copies, the fill, the border replication and the float
// vector copy: 8-byte MMX moves, streamed past the caches with non-temporal
// stores (image copies and fills always stream at this level).
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/core/copy_simd.h"
#include "primitives/core/level_routines.h"

namespace {

inline __m64 load8(const unsigned char* p) {
    __m64 v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store8(unsigned char* p, __m64 v) { std::memcpy(p, &v, 8); }

// Copies n bytes: an unaligned 8-byte move brings the destination to an
// 8-byte boundary, then 64 bytes per step, then 8, 4 and single bytes.
void CopyBlock_a6(const unsigned char* src, unsigned char* dst, std::size_t n, bool nonTemporal) {
    if (n < 8) {
        for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
        return;
    }
    const std::size_t mis = reinterpret_cast<std::uintptr_t>(dst) & 7;
    if (mis) {
        store8(dst, load8(src));
        src += 8 - mis;
        dst += 8 - mis;
        n -= 8 - mis;
    }
    auto put = [nonTemporal](unsigned char* d, __m64 v) {
        if (nonTemporal)
            _mm_stream_pi(reinterpret_cast<__m64*>(d), v);
        else
            *reinterpret_cast<__m64*>(d) = v;
    };
    for (; n >= 64; n -= 64, src += 64, dst += 64) {
        const __m64 a = load8(src), b = load8(src + 8), c = load8(src + 16), d = load8(src + 24);
        const __m64 e = load8(src + 32), f = load8(src + 40), g = load8(src + 48), h = load8(src + 56);
        put(dst, a), put(dst + 8, b), put(dst + 16, c), put(dst + 24, d);
        put(dst + 32, e), put(dst + 40, f), put(dst + 48, g), put(dst + 56, h);
    }
    for (; n >= 8; n -= 8, src += 8, dst += 8) put(dst, load8(src));
    if (n >= 4) {
        std::memcpy(dst, src, 4);
        src += 4, dst += 4, n -= 4;
    }
    for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
    if (nonTemporal) _mm_sfence();
    _mm_empty();
}

// Writes `count` copies of the value's 4 bytes from dst on (dst of any
// alignment): 4-byte steps to an 8-byte boundary, then the 8-byte pattern.
void SetRow_32f_a6(Vp32f value, unsigned char* dst, std::size_t count, bool nonTemporal) {
    std::size_t i = 0;
    for (; i < count && (reinterpret_cast<std::uintptr_t>(dst + 4 * i) & 7); ++i) std::memcpy(dst + 4 * i, &value, 4);
    unsigned char pair[8];
    std::memcpy(pair, &value, 4);
    std::memcpy(pair + 4, &value, 4);
    const __m64 pattern = load8(pair);
    for (; i + 2 <= count; i += 2) {
        if (nonTemporal)
            _mm_stream_pi(reinterpret_cast<__m64*>(dst + 4 * i), pattern);
        else
            store8(dst + 4 * i, pattern);
    }
    if (i < count) std::memcpy(dst + 4 * i, &value, 4);
    if (nonTemporal) _mm_sfence();
    _mm_empty();
}

// The float vector copy streams from 2048 elements on.
constexpr std::size_t kVectorStreamBytes = 2048 * 4;

}  // namespace

VP_DEFINE_COPY_ROUTINES(a6, CopyBlock_a6, SetRow_32f_a6, true, kVectorStreamBytes)
