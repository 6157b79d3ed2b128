// Straight-line transforms of 1, 2, 4 and 8 points, written once over an
// arithmetic policy A:
//   A::T           the type intermediate values are carried in
//   A::park(v)     a value the kernel rounds to single precision before use
// The px level carries double and parks the listed values as floats; a level
// with single-precision arithmetic carries float, where parking changes
// nothing. Every input is loaded before the first store, so pDst may equal
// pSrc. Include only from a level's file, with a policy of that file.
#pragma once

namespace fft_small {

template <class A>
struct Cx {
    typename A::T re, im;
};

template <class A>
inline Cx<A> load(const float* p, int k) {
    using T = typename A::T;
    return {static_cast<T>(p[2 * k]), static_cast<T>(p[2 * k + 1])};
}

template <class A>
inline void store(float* p, int k, Cx<A> v) {
    p[2 * k] = static_cast<float>(v.re);
    p[2 * k + 1] = static_cast<float>(v.im);
}

template <class A>
inline Cx<A> add(Cx<A> a, Cx<A> b) {
    return {a.re + b.re, a.im + b.im};
}

template <class A>
inline Cx<A> sub(Cx<A> a, Cx<A> b) {
    return {a.re - b.re, a.im - b.im};
}

template <class A>
inline Cx<A> mul(Cx<A> a, typename A::T s) {
    return {a.re * s, a.im * s};
}

template <class A>
inline Cx<A> park(Cx<A> a) {
    return {A::park(a.re), A::park(a.im)};
}

template <class A>
inline void order1(const float* pSrc, float* pDst, bool scaled, float scale) {
    using T = typename A::T;
    const Cx<A> x0 = load<A>(pSrc, 0);
    const Cx<A> x1 = load<A>(pSrc, 1);
    Cx<A> X0 = add(x0, x1);
    Cx<A> X1 = sub(x0, x1);
    if (scaled) {
        X0 = mul(X0, static_cast<T>(scale));
        X1 = mul(X1, static_cast<T>(scale));
    }
    store(pDst, 0, X0);
    store(pDst, 1, X1);
}

// Forward: X1 = B - iD, X3 = B + iD; inverse the other way round.
template <class A, bool Fwd>
inline void order2(const float* pSrc, float* pDst, bool scaled, float scale) {
    using T = typename A::T;
    const Cx<A> x0 = load<A>(pSrc, 0);
    const Cx<A> x1 = load<A>(pSrc, 1);
    const Cx<A> x2 = load<A>(pSrc, 2);
    const Cx<A> x3 = load<A>(pSrc, 3);
    Cx<A> a = add(x0, x2);
    Cx<A> b = sub(x0, x2);
    Cx<A> c = add(x1, x3);
    Cx<A> d = sub(x1, x3);
    if (scaled) {
        const T s = static_cast<T>(scale);
        a = mul(a, s);
        b = mul(b, s);
        c = mul(c, s);
        d = mul(d, s);
    }
    const Cx<A> X0 = add(a, c);
    const Cx<A> X2 = sub(a, c);
    Cx<A> X1, X3;
    if (Fwd) {
        X1 = {b.re + d.im, b.im - d.re};
        X3 = {b.re - d.im, b.im + d.re};
    } else {
        X1 = {b.re - d.im, b.im + d.re};
        X3 = {b.re + d.im, b.im - d.re};
    }
    store(pDst, 0, X0);
    store(pDst, 1, X1);
    store(pDst, 2, X2);
    store(pDst, 3, X3);
}

// One radix-2 split into an even and an odd half, each finished as four
// points. c = 0x3F3504F3 and -c = 0xBF3504F3 are stored constants.
template <class A, bool Fwd>
inline void order3(const float* pSrc, float* pDst, bool scaled, float scale) {
    using T = typename A::T;
    const T c = static_cast<T>(0.70710677f);
    const T mc = static_cast<T>(-0.70710677f);
    Cx<A> x[8];
    for (int n = 0; n < 8; ++n) x[n] = load<A>(pSrc, n);
    Cx<A> a[4], b[4];
    for (int n = 0; n < 4; ++n) {
        a[n] = add(x[n], x[n + 4]);
        b[n] = sub(x[n], x[n + 4]);
    }
    if (scaled) {
        const T s = static_cast<T>(scale);
        for (int n = 0; n < 4; ++n) {
            a[n] = mul(a[n], s);
            b[n] = mul(b[n], s);
        }
    }
    // Even half. s02.re and s13.im stay wide; the other parts are parked.
    Cx<A> s02 = add(a[0], a[2]);
    s02.im = A::park(s02.im);
    const Cx<A> d02 = park(sub(a[0], a[2]));
    Cx<A> s13 = add(a[1], a[3]);
    s13.re = A::park(s13.re);
    const Cx<A> d13 = park(sub(a[1], a[3]));
    const Cx<A> X0 = add(s02, s13);
    const Cx<A> X4 = sub(s02, s13);
    Cx<A> X2, X6, u, v, p, q, t1, t3;
    if (Fwd) {
        X2 = {d02.re + d13.im, d02.im - d13.re};
        X6 = {d02.re - d13.im, d02.im + d13.re};
        u = park(Cx<A>{b[0].re + b[2].im, b[0].im - b[2].re});
        v = park(Cx<A>{b[0].re - b[2].im, b[0].im + b[2].re});
        p = {b[1].re + b[3].im, b[1].im - b[3].re};
        q = park(Cx<A>{b[1].re - b[3].im, b[1].im + b[3].re});
        t1 = {(p.re + p.im) * c, (p.im - p.re) * c};
        t3 = {(q.re - q.im) * mc, (q.im + q.re) * mc};
    } else {
        X2 = {d02.re - d13.im, d02.im + d13.re};
        X6 = {d02.re + d13.im, d02.im - d13.re};
        u = park(Cx<A>{b[0].re - b[2].im, b[0].im + b[2].re});
        v = park(Cx<A>{b[0].re + b[2].im, b[0].im - b[2].re});
        p = {b[1].re - b[3].im, b[1].im + b[3].re};
        q = park(Cx<A>{b[1].re + b[3].im, b[1].im - b[3].re});
        t1 = {(p.re - p.im) * c, (p.im + p.re) * c};
        t3 = {(q.re + q.im) * mc, (q.im - q.re) * mc};
    }
    store(pDst, 0, X0);
    store(pDst, 1, add(u, t1));
    store(pDst, 2, X2);
    store(pDst, 3, add(v, t3));
    store(pDst, 4, X4);
    store(pDst, 5, sub(u, t1));
    store(pDst, 6, X6);
    store(pDst, 7, sub(v, t3));
}

}  // namespace fft_small
