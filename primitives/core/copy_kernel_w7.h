// The block copy and row fill of the w7 level, which t7 shares: 16-byte
// moves with an aligned destination, streamed past the caches when asked.
// The unaligned load is the level's own (t7 passes the SSE3 load that
// tolerates cache-line splits). Only the w7 and t7 level files include this.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/core/vp_types.h"

namespace {

inline __m128i loadUnalignedSse2(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Short copies (and tails): 16, 8, 4, 2 and 1 bytes.
inline void copyShort(const unsigned char* src, unsigned char* dst, std::size_t n) {
    for (; n >= 16; n -= 16, src += 16, dst += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
    if (n >= 8) std::memcpy(dst, src, 8), src += 8, dst += 8, n -= 8;
    if (n >= 4) std::memcpy(dst, src, 4), src += 4, dst += 4, n -= 4;
    if (n >= 2) std::memcpy(dst, src, 2), src += 2, dst += 2, n -= 2;
    if (n) *dst = *src;
}

// Copies n bytes. The streaming stores are not used when the destination
// lies 16 to 320 bytes after the source (modulo 64 KiB): the loads would
// then hit lines the stores have just evicted.
template <__m128i (*Load)(const unsigned char*)>
void CopyBlock_w7(const unsigned char* src, unsigned char* dst, std::size_t n, bool nonTemporal) {
    if (n < 64) {
        copyShort(src, dst, n);
        return;
    }
    const std::size_t mis = reinterpret_cast<std::uintptr_t>(dst) & 15;
    if (mis) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), Load(src));
        src += 16 - mis, dst += 16 - mis, n -= 16 - mis;
    }
    const std::uintptr_t distance = (reinterpret_cast<std::uintptr_t>(src) - reinterpret_cast<std::uintptr_t>(dst)) & 0xFFFF;
    const bool stream = nonTemporal && !(distance >= 0xFEC0 && distance <= 0xFFF0);
    for (; n >= 64; n -= 64, src += 64, dst += 64) {
        const __m128i a = Load(src), b = Load(src + 16), c = Load(src + 32), d = Load(src + 48);
        __m128i* o = reinterpret_cast<__m128i*>(dst);
        if (stream) {
            _mm_stream_si128(o, a), _mm_stream_si128(o + 1, b), _mm_stream_si128(o + 2, c), _mm_stream_si128(o + 3, d);
        } else {
            _mm_store_si128(o, a), _mm_store_si128(o + 1, b), _mm_store_si128(o + 2, c), _mm_store_si128(o + 3, d);
        }
    }
    if (stream) _mm_sfence();
    copyShort(src, dst, n);
}

// Writes `count` copies of the value's 4 bytes from dst on. A destination on
// a 4-byte boundary is brought to a 16-byte one by single values; any other
// takes unaligned 16-byte stores (each starts a whole number of values on).
inline void SetRow_32f_w7(Vp32f value, unsigned char* dst, std::size_t count, bool nonTemporal) {
    std::size_t i = 0;
    const bool wordAligned = (reinterpret_cast<std::uintptr_t>(dst) & 3) == 0;
    if (wordAligned)
        for (; i < count && (reinterpret_cast<std::uintptr_t>(dst + 4 * i) & 15); ++i) std::memcpy(dst + 4 * i, &value, 4);
    const __m128 pattern = _mm_set1_ps(value);
    const bool stream = nonTemporal && wordAligned;
    for (; i + 4 <= count; i += 4) {
        float* o = reinterpret_cast<float*>(dst + 4 * i);
        if (!wordAligned)
            _mm_storeu_ps(o, pattern);
        else if (stream)
            _mm_stream_ps(o, pattern);
        else
            _mm_store_ps(o, pattern);
    }
    if (stream) _mm_sfence();
    for (; i < count; ++i) std::memcpy(dst + 4 * i, &value, 4);
}

}  // namespace
