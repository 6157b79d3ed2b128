// The vector kernels of the one-dimensional FFT, written once for the a6, w7
// and t7 levels with SSE single-precision instructions only, so every level
// that instantiates them computes the same bits. Include only from a level's
// file.
//
// Working layout ("split by four"): every run of four complex values is
// stored as their four real parts followed by their four imaginary parts, a
// 32-byte block; lane j of a block is value j of the run.
//
// The direct transform (data already in bit-reversed order) and the fused
// transform (reads the natural-order source through the bit-reverse list)
// share everything but the loads of their first pass:
//   first pass  m odd: 8-point transforms (two 4-point butterflies and a
//               radix-2 combination with fixed constants); m even: 16-point
//               transforms (four 4-point butterflies and one radix-4 step
//               with the first stage table);
//   stages      radix-4 butterflies of group size 32, 128, ... or 64, 256, ...
//   last pass   back to interleaved values in the destination.
#pragma once

#include <xmmintrin.h>

#include <bit>
#include <cstdint>
#include <cstring>

namespace fft_simd {

// Four complex values, one per lane.
struct V {
    __m128 re, im;
};

inline bool aligned16(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0; }

inline V add(V a, V b) { return {_mm_add_ps(a.re, b.re), _mm_add_ps(a.im, b.im)}; }
inline V sub(V a, V b) { return {_mm_sub_ps(a.re, b.re), _mm_sub_ps(a.im, b.im)}; }

// a * w (forward) or a * conj(w) (inverse): always four products.
template <bool Fwd>
inline V cmul(V a, __m128 wr, __m128 wi) {
    if (Fwd) {
        return {_mm_sub_ps(_mm_mul_ps(a.re, wr), _mm_mul_ps(a.im, wi)),
                _mm_add_ps(_mm_mul_ps(a.im, wr), _mm_mul_ps(a.re, wi))};
    }
    return {_mm_add_ps(_mm_mul_ps(a.re, wr), _mm_mul_ps(a.im, wi)),
            _mm_sub_ps(_mm_mul_ps(a.im, wr), _mm_mul_ps(a.re, wi))};
}

// Radix-4 butterfly on A0 and the twiddled T1, T2, T3 (A1, A2, A3 carry w^2k,
// w^k, w^3k). Outputs in the grouping (T2 + T3) + (A0 + T1) and so on.
template <bool Fwd>
inline void butterfly(V a0, V t1, V t2, V t3, V& o0, V& o1, V& o2, V& o3) {
    const V s = add(a0, t1);
    const V d = sub(a0, t1);
    const V p = add(t2, t3);
    const V q = sub(t2, t3);
    o0 = add(p, s);
    o2 = sub(s, p);
    if (Fwd) {
        o1 = {_mm_add_ps(d.re, q.im), _mm_sub_ps(d.im, q.re)};
        o3 = {_mm_sub_ps(d.re, q.im), _mm_add_ps(d.im, q.re)};
    } else {
        o1 = {_mm_sub_ps(d.re, q.im), _mm_add_ps(d.im, q.re)};
        o3 = {_mm_add_ps(d.re, q.im), _mm_sub_ps(d.im, q.re)};
    }
}

inline V loadBlock(const float* p) { return {_mm_load_ps(p), _mm_load_ps(p + 4)}; }
inline V loadBlockU(const float* p) { return {_mm_loadu_ps(p), _mm_loadu_ps(p + 4)}; }
inline void storeBlock(float* p, V v) {
    _mm_store_ps(p, v.re);
    _mm_store_ps(p + 4, v.im);
}

// Four complex values from four addresses: lane i from p[i].
inline V gather4(const float* p0, const float* p1, const float* p2, const float* p3) {
    __m128 a = _mm_setzero_ps();
    __m128 b = _mm_setzero_ps();
    a = _mm_loadl_pi(a, reinterpret_cast<const __m64*>(p0));
    a = _mm_loadh_pi(a, reinterpret_cast<const __m64*>(p1));
    b = _mm_loadl_pi(b, reinterpret_cast<const __m64*>(p2));
    b = _mm_loadh_pi(b, reinterpret_cast<const __m64*>(p3));
    return {_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))};
}

// The fixed twiddles w8^k, k = 0..3, of the 8-point combination. 0x3F3504F4
// is one unit in the last place above the nearest float to 1/sqrt(2).
alignas(16) inline const float kW8Re[4] = {1.0f, std::bit_cast<float>(0x3F3504F4u), 0.0f,
                                           std::bit_cast<float>(0xBF3504F4u)};
alignas(16) inline const float kW8Im[4] = {0.0f, std::bit_cast<float>(0xBF3504F4u), -1.0f,
                                           std::bit_cast<float>(0xBF3504F4u)};

// Source of the first pass: value j (0..3) of 4-point run k.
// Direct kernel: the data already in bit-reversed order, run k at 4k.
struct SequentialRuns {
    const float* data;
    const float* at(std::int64_t k, int j) const { return data + 2 * (4 * k + j); }
};
// Fused kernel: run k holds src[r], src[r + len/2], src[r + len/4],
// src[r + 3len/4] with r from the bit-reverse list (entry = 2r).
struct ListedRuns {
    const float* base[4];
    const int* list;
    ListedRuns(const float* src, std::int64_t len, const int* bitRev) : list(bitRev) {
        base[0] = src;
        base[1] = src + len;          // + len/2 complex values
        base[2] = src + len / 2;      // + len/4
        base[3] = src + 3 * len / 2;  // + 3len/4
    }
    const float* at(std::int64_t k, int j) const { return base[j] + list[k]; }
};

// 4-point butterflies of runs k0..k3 (lanes), transposed so that block i
// holds run ki's four results.
template <bool Fwd, class Src>
inline void fourPoint(const Src& src, const std::int64_t k[4], V out[4]) {
    V x[4];
    for (int j = 0; j < 4; ++j) x[j] = gather4(src.at(k[0], j), src.at(k[1], j), src.at(k[2], j), src.at(k[3], j));
    V y[4];
    butterfly<Fwd>(x[0], x[1], x[2], x[3], y[0], y[1], y[2], y[3]);
    _MM_TRANSPOSE4_PS(y[0].re, y[1].re, y[2].re, y[3].re);
    _MM_TRANSPOSE4_PS(y[0].im, y[1].im, y[2].im, y[3].im);
    for (int i = 0; i < 4; ++i) out[i] = y[i];
}

// out[k] = B0[k] + B1[k] w8^k, out[k + 4] = B0[k] - B1[k] w8^k.
template <bool Fwd>
inline void combine8(V b0, V b1, float* dst) {
    const V u = cmul<Fwd>(b1, _mm_load_ps(kW8Re), _mm_load_ps(kW8Im));
    storeBlock(dst, add(b0, u));
    storeBlock(dst + 8, sub(b0, u));
}

// Radix-4 step of four blocks with one step (six vectors) of a stage table.
template <bool Fwd>
inline void radix4Step(V a0, V a1, V a2, V a3, const float* tw, float* p0, float* p1, float* p2, float* p3) {
    const V t2 = cmul<Fwd>(a2, _mm_load_ps(tw), _mm_load_ps(tw + 4));
    const V t1 = cmul<Fwd>(a1, _mm_load_ps(tw + 8), _mm_load_ps(tw + 12));
    const V t3 = cmul<Fwd>(a3, _mm_load_ps(tw + 16), _mm_load_ps(tw + 20));
    V o0, o1, o2, o3;
    butterfly<Fwd>(a0, t1, t2, t3, o0, o1, o2, o3);
    storeBlock(p0, o0);
    storeBlock(p1, o1);
    storeBlock(p2, o2);
    storeBlock(p3, o3);
}

inline bool oddOrder(std::int64_t len) { return (len & 0xAAAAAAAA) != 0; }

// First pass into the work array (split by four). Runs are read in the
// order of their index; every run is read before its points are written, so
// the work array may be the direct kernel's own data.
template <bool Fwd, class Src>
void firstPass(const Src& src, std::int64_t len, const float* tw, float* work) {
    const std::int64_t runs = len / 4;
    V b[4];
    if (oddOrder(len)) {
        std::int64_t k = 0;
        for (; k + 4 <= runs; k += 4) {
            const std::int64_t ks[4] = {k, k + 1, k + 2, k + 3};
            fourPoint<Fwd>(src, ks, b);
            combine8<Fwd>(b[0], b[1], work + 8 * k);
            combine8<Fwd>(b[2], b[3], work + 8 * k + 16);
        }
        if (k < runs) {  // 8 points: the pair fills all four lanes twice
            const std::int64_t ks[4] = {k, k + 1, k, k + 1};
            fourPoint<Fwd>(src, ks, b);
            combine8<Fwd>(b[0], b[1], work + 8 * k);
        }
    } else {
        for (std::int64_t k = 0; k < runs; k += 4) {
            const std::int64_t ks[4] = {k, k + 1, k + 2, k + 3};
            fourPoint<Fwd>(src, ks, b);
            float* p = work + 8 * k;
            radix4Step<Fwd>(b[0], b[1], b[2], b[3], tw, p, p + 8, p + 16, p + 24);
        }
    }
}

// Radix-4 stages after the first pass, up to the level's last stage.
template <bool Fwd>
void stages(float* work, std::int64_t len, const float* tw, std::int64_t lastOdd, std::int64_t lastEven) {
    std::int64_t G;
    std::int64_t last;
    if (oddOrder(len)) {
        G = 32;
        last = lastOdd;
    } else {
        tw += 24;  // the 16-point stage served the first pass
        G = 64;
        last = lastEven;
    }
    for (; G <= len && G <= last; G *= 4) {
        const std::int64_t L = G / 4;  // points per quarter; 2L floats
        for (std::int64_t g = 0; g < len; g += G) {
            float* base = work + 2 * g;
            for (std::int64_t t = 0; t < L / 4; ++t) {
                float* p0 = base + 8 * t;
                float* p1 = p0 + 2 * L;
                float* p2 = p0 + 4 * L;
                float* p3 = p0 + 6 * L;
                radix4Step<Fwd>(loadBlock(p0), loadBlock(p1), loadBlock(p2), loadBlock(p3), tw + 24 * t, p0, p1,
                                p2, p3);
            }
        }
        tw += 6 * L;  // this stage's L entries of six floats
    }
}

// Split-by-four work array back to interleaved values in dst (may be the
// work array itself), eight values per step.
inline void interleave(const float* work, float* dst, std::int64_t len) {
    const bool aligned = aligned16(dst);
    for (std::int64_t s = 0; s < len / 8; ++s) {
        const float* w = work + 16 * s;
        const __m128 r0 = _mm_load_ps(w), i0 = _mm_load_ps(w + 4);
        const __m128 r1 = _mm_load_ps(w + 8), i1 = _mm_load_ps(w + 12);
        const __m128 o[4] = {_mm_unpacklo_ps(r0, i0), _mm_unpackhi_ps(r0, i0), _mm_unpacklo_ps(r1, i1),
                             _mm_unpackhi_ps(r1, i1)};
        float* d = dst + 16 * s;
        for (int q = 0; q < 4; ++q) {
            if (aligned) {
                _mm_store_ps(d + 4 * q, o[q]);
            } else {
                _mm_storel_pi(reinterpret_cast<__m64*>(d + 4 * q), o[q]);
                _mm_storeh_pi(reinterpret_cast<__m64*>(d + 4 * q + 2), o[q]);
            }
        }
    }
}

// Direct transform of len = 2^m values in bit-reversed order, in place. The
// work array is the data when 16-byte aligned, else buf. interleaveOut 1:
// interleaved result; otherwise the split-by-four result.
template <bool Fwd>
void direct(float* data, std::int64_t len, const float* tw, float* buf, int interleaveOut, std::int64_t lastOdd,
            std::int64_t lastEven) {
    float* work = aligned16(data) ? data : buf;
    firstPass<Fwd>(SequentialRuns{data}, len, tw, work);
    stages<Fwd>(work, len, tw, lastOdd, lastEven);
    if (interleaveOut == 1) {
        interleave(work, data, len);
    } else if (work != data) {
        std::memcpy(data, work, 8 * static_cast<std::size_t>(len));
    }
}

// Fused permute-and-transform of len natural-order values from src to dst.
template <bool Fwd>
void fused(const float* src, float* dst, std::int64_t len, const float* tw, const int* bitRev, float* buf,
           std::int64_t lastOdd, std::int64_t lastEven) {
    float* work = (dst != src && aligned16(dst)) ? dst : buf;
    firstPass<Fwd>(ListedRuns(src, len, bitRev), len, tw, work);
    stages<Fwd>(work, len, tw, lastOdd, lastEven);
    interleave(work, dst, len);
}

// pData[i] *= factor, one single-precision product each.
inline void scale(float factor, float* pData, std::int64_t count) {
    const __m128 f = _mm_set1_ps(factor);
    const std::int64_t blocks = count / 8;
    for (std::int64_t b = 0; b < blocks; ++b) {
        float* p = pData + 8 * b;
        _mm_storeu_ps(p, _mm_mul_ps(_mm_loadu_ps(p), f));
        _mm_storeu_ps(p + 4, _mm_mul_ps(_mm_loadu_ps(p + 4), f));
    }
    float* rest = pData + 8 * blocks;
    for (std::int64_t r = 0; r < count % 8; ++r) rest[r] *= factor;
}

}  // namespace fft_simd
