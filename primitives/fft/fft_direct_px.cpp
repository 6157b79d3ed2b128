// px direct radix transforms, bit-reverse permutations and the scale pass.
//
// The direct transform works in place on values already in bit-reversed
// order (decimation in time): a twiddle-free 4-point stage, then a radix-2
// 8-point stage (odd orders) or a 16-point radix-4 stage (even orders), then
// radix-4 stages up to the full length. Intermediate values are carried in
// double; every stage output is rounded to single precision when stored, and
// a few intermediates are rounded to single precision before further use:
//   - both parts of A0 - A1 in every twiddle-free butterfly;
//   - both parts of T1 and the real part of T2 - T3 in every butterfly with
//     k >= 1 of the radix-4 stages of group size 32 and more;
//   - the real part of T2 - T3 at k = 2 and 3 of the 16-point stage.

#include <cstdint>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_px.h"

namespace {

inline double rnd(double v) { return FFTRoundToSingle_px(v); }

struct C2 {
    double re, im;
};

inline C2 ld(const float* p) { return {p[0], p[1]}; }

inline void st(float* p, double re, double im) {
    p[0] = static_cast<float>(re);
    p[1] = static_cast<float>(im);
}

// a * w (forward) or a * conj(w) (inverse), four products.
template <bool Fwd>
inline C2 twiddle(C2 a, double wr, double wi) {
    if (Fwd) return {a.re * wr - a.im * wi, a.im * wr + a.re * wi};
    return {a.re * wr + a.im * wi, a.im * wr - a.re * wi};
}

// The radix-4 butterfly on A0 and the twiddled T1, T2, T3, with the
// difference A0 - T1 given (so callers decide what is rounded) and the real
// part of T2 - T3 rounded when roundQ is set. Outputs go to p0..p3.
template <bool Fwd>
inline void butterfly(C2 a0, C2 t1, C2 d, C2 t2, C2 t3, bool roundQ, float* p0, float* p1, float* p2,
                      float* p3) {
    const double sr = a0.re + t1.re;
    const double si = a0.im + t1.im;
    const double pr = t2.re + t3.re;
    const double pi = t2.im + t3.im;
    double qr = t2.re - t3.re;
    if (roundQ) qr = rnd(qr);
    const double qi = t2.im - t3.im;
    st(p0, pr + sr, pi + si);
    st(p2, sr - pr, si - pi);
    if (Fwd) {
        st(p1, d.re + qi, d.im - qr);
        st(p3, d.re - qi, d.im + qr);
    } else {
        st(p1, d.re - qi, d.im + qr);
        st(p3, d.re + qi, d.im - qr);
    }
}

// Twiddle-free butterfly (k = 0 of any stage): A0 - A1 is rounded.
template <bool Fwd>
inline void butterfly0(float* p0, float* p1, float* p2, float* p3) {
    const C2 a0 = ld(p0);
    const C2 a1 = ld(p1);
    const C2 a2 = ld(p2);
    const C2 a3 = ld(p3);
    const C2 d = {rnd(a0.re - a1.re), rnd(a0.im - a1.im)};
    butterfly<Fwd>(a0, a1, d, a2, a3, false, p0, p1, p2, p3);
}

template <bool Fwd>
void stage4(float* data, int len) {
    for (int p = 0; p < len; p += 4) {
        float* b = data + 2 * p;
        butterfly0<Fwd>(b, b + 2, b + 4, b + 6);
    }
}

// Radix-2 combination of two 4-point results per 8 points; c0 and c1 are the
// stored cos(pi/4) and -sin(pi/4). Nothing is rounded before the outputs.
template <bool Fwd>
void stage8(float* data, int len, const float* tw) {
    const double c0 = tw[6 * (len / 8)];
    const double c1 = tw[6 * (len / 8) + 1];
    for (int p = 0; p < len; p += 8) {
        float* b0 = data + 2 * p;
        float* b1 = b0 + 8;
        C2 u[4];
        u[0] = ld(b1);
        const C2 x1 = ld(b1 + 2);
        const C2 x2 = ld(b1 + 4);
        const C2 x3 = ld(b1 + 6);
        if (Fwd) {
            u[1] = {c0 * (x1.re + x1.im), c0 * (x1.im - x1.re)};
            u[2] = {x2.im, -x2.re};
            u[3] = {c1 * (x3.re - x3.im), c1 * (x3.re + x3.im)};
        } else {
            u[1] = {c0 * (x1.re - x1.im), c0 * (x1.re + x1.im)};
            u[2] = {-x2.im, x2.re};
            u[3] = {c1 * (x3.re + x3.im), c1 * (x3.im - x3.re)};
        }
        for (int k = 0; k < 4; ++k) {
            const C2 a = ld(b0 + 2 * k);
            st(b0 + 2 * k, a.re + u[k].re, a.im + u[k].im);
            st(b1 + 2 * k, a.re - u[k].re, a.im - u[k].im);
        }
    }
}

// Radix-4 stage of group size 16 (even orders) with the twiddles of table
// entry len/16: s0..s5 = w16, w16^2, w16^3.
template <bool Fwd>
void stage16(float* data, int len, const float* tw) {
    const float* e = tw + 6 * (len / 16);
    const double s0 = e[0], s1 = e[1], s2 = e[2], s3 = e[3], s4 = e[4], s5 = e[5];
    // x * w16^2 from s2 alone, x * w16^6 from s3 alone.
    auto byW2 = [s2](C2 x) -> C2 {
        if (Fwd) return {s2 * (x.re + x.im), s2 * (x.im - x.re)};
        return {s2 * (x.re - x.im), s2 * (x.re + x.im)};
    };
    auto byW6 = [s3](C2 x) -> C2 {
        if (Fwd) return {s3 * (x.re - x.im), s3 * (x.re + x.im)};
        return {s3 * (x.re + x.im), s3 * (x.im - x.re)};
    };
    for (int p = 0; p < len; p += 16) {
        float* g = data + 2 * p;
        butterfly0<Fwd>(g, g + 8, g + 16, g + 24);
        {
            float* q0 = g + 2;
            const C2 a0 = ld(q0);
            const C2 t1 = byW2(ld(q0 + 8));
            const C2 t2 = twiddle<Fwd>(ld(q0 + 16), s0, s1);
            const C2 t3 = twiddle<Fwd>(ld(q0 + 24), s4, s5);
            const C2 d = {a0.re - t1.re, a0.im - t1.im};
            butterfly<Fwd>(a0, t1, d, t2, t3, false, q0, q0 + 8, q0 + 16, q0 + 24);
        }
        {
            float* q0 = g + 4;
            const C2 a0 = ld(q0);
            const C2 x1 = ld(q0 + 8);
            const C2 t1 = Fwd ? C2{x1.im, -x1.re} : C2{-x1.im, x1.re};
            const C2 t2 = byW2(ld(q0 + 16));
            const C2 t3 = byW6(ld(q0 + 24));
            const C2 d = {a0.re - t1.re, a0.im - t1.im};
            butterfly<Fwd>(a0, t1, d, t2, t3, true, q0, q0 + 8, q0 + 16, q0 + 24);
        }
        {
            float* q0 = g + 6;
            const C2 a0 = ld(q0);
            const C2 t1 = byW6(ld(q0 + 8));
            const C2 t2 = twiddle<Fwd>(ld(q0 + 16), s4, s5);
            const C2 x3 = ld(q0 + 24);
            // w16^9 = s5 + i s4
            const C2 t3 = Fwd ? C2{s5 * x3.re - s4 * x3.im, s4 * x3.re + s5 * x3.im}
                              : C2{s5 * x3.re + s4 * x3.im, s5 * x3.im - s4 * x3.re};
            const C2 d = {a0.re - t1.re, a0.im - t1.im};
            butterfly<Fwd>(a0, t1, d, t2, t3, true, q0, q0 + 8, q0 + 16, q0 + 24);
        }
    }
}

// Radix-4 stage of group size G = 4L >= 32. Butterfly k reads table entry
// k * len / G: w^k, w^2k, w^3k of w = exp(-2 pi i / G).
template <bool Fwd>
void stageRadix4(float* data, int len, const float* tw, int G) {
    const int L = G / 4;
    const std::int64_t entryStep = 6 * static_cast<std::int64_t>(len / G);
    for (int g = 0; g < len; g += G) {
        float* b = data + 2 * static_cast<std::int64_t>(g);
        butterfly0<Fwd>(b, b + 2 * L, b + 4 * L, b + 6 * L);
    }
    for (int k = 1; k < L; ++k) {
        const float* w = tw + entryStep * k;
        const double w1r = w[0], w1i = w[1], w2r = w[2], w2i = w[3], w3r = w[4], w3i = w[5];
        for (int g = 0; g < len; g += G) {
            float* q0 = data + 2 * static_cast<std::int64_t>(g + k);
            float* q1 = q0 + 2 * L;
            float* q2 = q0 + 4 * L;
            float* q3 = q0 + 6 * L;
            const C2 a0 = ld(q0);
            C2 t1 = twiddle<Fwd>(ld(q1), w2r, w2i);
            t1 = {rnd(t1.re), rnd(t1.im)};
            const C2 t2 = twiddle<Fwd>(ld(q2), w1r, w1i);
            const C2 t3 = twiddle<Fwd>(ld(q3), w3r, w3i);
            const C2 d = {a0.re - t1.re, a0.im - t1.im};
            butterfly<Fwd>(a0, t1, d, t2, t3, true, q0, q1, q2, q3);
        }
    }
}

template <bool Fwd>
void directPx(float* data, int len, const float* tw) {
    if (len < 4) return;
    stage4<Fwd>(data, len);
    const bool odd = (len & 0xAAAAAAAA) != 0;
    int G;
    if (odd) {
        if (len >= 8) stage8<Fwd>(data, len, tw);
        G = 32;
    } else {
        if (len >= 16) stage16<Fwd>(data, len, tw);
        G = 64;
    }
    for (; G <= len; G *= 4) stageRadix4<Fwd>(data, len, tw, G);
}

}  // namespace

void FFTFwdDirect_px(float* pSrcDst, int len, const float* pTwd) { directPx<true>(pSrcDst, len, pTwd); }
void FFTInvDirect_px(float* pSrcDst, int len, const float* pTwd) { directPx<false>(pSrcDst, len, pTwd); }

void FFTBitReverseCopy_px(const float* pSrc, float* pDst, int N, const int* pairs) {
    FFTPermuteCopy(pSrc, pDst, N, pairs);
}

void FFTBitReverseInPlace_px(float* pSrcDst, int N, const int* pairs) { FFTPermuteInPlace(pSrcDst, N, pairs); }

void FFTScale_px(float factor, float* pData, int count) {
    // The exact product of two floats fits a double, so the single-precision
    // product rounds exactly as the wide one stored to single precision.
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        pData[i] *= factor;
        pData[i + 1] *= factor;
        pData[i + 2] *= factor;
        pData[i + 3] *= factor;
    }
    for (; i < count; ++i) pData[i] *= factor;
}
