// Selection networks of the fixed-mask medians, over unsigned byte minimum
// and maximum only, written once for every level: `Ops` supplies the value
// type V (one byte at px, a vector of bytes at the vector levels) and
// min(a, b), max(a, b). Each network gives the exact median, so every
// instantiation gives the same bytes.
#pragma once

template <class Ops>
struct MedianNetworks {
    using V = typename Ops::V;

    static V vmin(V a, V b) { return Ops::min(a, b); }
    static V vmax(V a, V b) { return Ops::max(a, b); }

    // med3(a, b, c) = min(max(a, b), max(min(a, b), c)).
    static V median3(V a, V b, V c) { return vmin(vmax(a, b), vmax(vmin(a, b), c)); }

    // Median of five: the fifth value against the two middle candidates of the pairs.
    static V median5(V a, V b, V c, V d, V e) {
        const V p = vmax(vmin(a, b), vmin(c, d));
        const V q = vmin(vmax(a, b), vmax(c, d));
        return median3(e, p, q);
    }

    // Sorts a 3-value column: lo, mid, hi.
    static void sortColumn3(V a, V b, V c, V& lo, V& mid, V& hi) {
        const V l = vmin(a, b);
        const V h = vmax(a, b);
        hi = vmax(h, c);
        mid = vmax(vmin(h, c), l);
        lo = vmin(l, c);
    }

    static void exchange(V& x, V& y) {
        const V lo = vmin(x, y);
        y = vmax(x, y);
        x = lo;
    }

    // Sorts five values ascending, r[0] smallest.
    static void sortColumn5(V* r) {
        exchange(r[0], r[1]);
        exchange(r[2], r[3]);
        exchange(r[0], r[2]);
        exchange(r[0], r[4]);
        exchange(r[1], r[3]);
        exchange(r[2], r[4]);
        exchange(r[1], r[2]);
        exchange(r[3], r[4]);
        exchange(r[2], r[3]);
        exchange(r[3], r[4]);
    }

    // Median of a 5x5 window from its rank matrix: S(k, c) is the k-th smallest of
    // window column c. Only the ranks of each row of S that can decide the median
    // are computed; a..e are S(k, 0..4).
    struct RankRow {
        V lo1, hi1, lo2, hi2, e;
        RankRow(V a, V b, V c, V d, V e_) : lo1(vmin(a, b)), hi1(vmax(a, b)), lo2(vmin(c, d)), hi2(vmax(c, d)), e(e_) {}
    };

    static V median25(const RankRow& r0, const RankRow& r1, const RankRow& r2, const RankRow& r3, const RankRow& r4) {
        V R04, R03, R14, R13, R12, R23, R22, R21, R31, R32, R30, R40, R41;
        {
            const V up = vmax(r0.hi1, r0.e), dn = vmin(r0.e, r0.hi1);
            R04 = vmax(r0.hi2, up);
            R03 = vmax(vmin(r0.hi2, up), vmax(dn, vmax(r0.lo1, r0.lo2)));
        }
        {
            const V up = vmax(r1.hi1, r1.e), dn = vmin(r1.e, r1.hi1), mid = vmin(r1.hi2, up);
            R14 = vmax(r1.hi2, up);
            R13 = vmax(vmax(mid, dn), vmax(r1.lo1, r1.lo2));
            R12 = vmax(vmax(vmin(r1.lo1, r1.lo2), vmin(dn, mid)), vmin(vmax(r1.lo1, r1.lo2), vmax(mid, dn)));
        }
        {
            const V up = vmax(r2.hi1, r2.e), dn = vmin(r2.e, r2.hi1), mid = vmin(r2.hi2, up);
            const V x = vmin(dn, mid), y = vmax(mid, dn);
            const V loLo = vmin(r2.lo1, r2.lo2), hiLo = vmax(r2.lo1, r2.lo2);
            const V R20 = vmin(loLo, x);
            R23 = vmax(y, hiLo);
            R22 = vmax(vmax(x, loLo), vmin(hiLo, y));
            R21 = vmax(R20, vmin(vmin(hiLo, y), vmax(x, loLo)));
        }
        {
            const V s = vmin(r3.lo1, r3.e), t = vmax(r3.e, r3.lo1), w = vmax(r3.lo2, s);
            const V z = vmax(t, w), v = vmin(w, t);
            R30 = vmin(s, r3.lo2);
            R31 = vmin(v, vmin(r3.hi1, r3.hi2));
            R32 = vmin(vmin(vmax(r3.hi1, r3.hi2), z), vmax(vmin(r3.hi1, r3.hi2), v));
        }
        {
            const V s = vmin(r4.lo1, r4.e), t = vmax(r4.e, r4.lo1);
            R40 = vmin(s, r4.lo2);
            R41 = vmin(vmin(vmin(r4.hi1, r4.hi2), t), vmax(r4.lo2, s));
        }
        const V A = vmax(vmax(vmax(R03, R12), R21), R30);
        const V B = vmin(vmin(vmin(R14, R23), R32), R41);
        const V P = vmax(vmin(R22, R40), vmin(R04, R31));
        const V Q = vmin(vmax(R22, R40), vmax(R04, R31));
        const V mid = vmin(vmax(P, R13), vmax(Q, vmin(R13, P)));
        return vmin(vmax(A, B), vmax(vmin(A, B), mid));
    }
};
