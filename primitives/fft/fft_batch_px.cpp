// px two-dimensional passes over several transforms side by side.
//
// The row and column passes of a two-dimensional transform run the same
// one-dimensional transform many times. Here B of them are gathered into a
// planar block (point k of all B transforms: B real parts, then B imaginary
// parts) and the direct kernel's stages are applied to the whole block, each
// operation in a loop over the B transforms. Per transform the arithmetic is
// exactly that of FFTFwdDirect_px / FFTInvDirect_px (fft_direct_px.cpp): the
// same expressions in the same order, carried in double, rounded to single
// precision at the same places. The loops over the batch are what the
// compiler turns into vector code; the results keep every bit of the
// one-transform-at-a-time path.

#include <cstdint>
#include <cstring>

#include "primitives/fft/fft_px.h"

namespace {

// Rounds to single precision and widens again. Inside the batch loops the
// value stays in a register-wide vector lane; the loop vectorizer keeps both
// conversions (the basic-block vectorizer fault that the volatile of
// FFTRoundToSingle_px works around does not apply to these loops, and the
// batch tests compare every bit with the one-at-a-time path).
inline double rnd(double v) { return static_cast<double>(static_cast<float>(v)); }

// Point k of a planar block of B transforms: B real parts, then B imaginary
// parts.
template <int B>
inline float* at(float* block, int k) {
    return block + 2 * B * static_cast<std::int64_t>(k);
}

// One radix-4 butterfly of the direct kernel on every lane of the points p0
// (a0), p1, p2, p3. Twid forms the twiddled t1, t2, t3 of a lane from its
// p1, p2, p3 values. The difference d = a0 - t1 is rounded when RoundD is set
// (the twiddle-free butterflies), the real part of t2 - t3 when RoundQ is.
template <int B, bool Fwd, bool RoundD, bool RoundQ, class Twid>
inline void butterflies(float* __restrict p0, float* __restrict p1, float* __restrict p2, float* __restrict p3,
                        Twid twid) {
    for (int b = 0; b < B; ++b) {
        const double a0r = p0[b], a0i = p0[B + b];
        double t1r, t1i, t2r, t2i, t3r, t3i;
        twid(p1[b], p1[B + b], p2[b], p2[B + b], p3[b], p3[B + b], t1r, t1i, t2r, t2i, t3r, t3i);
        double dr = a0r - t1r;
        double di = a0i - t1i;
        if (RoundD) {
            dr = rnd(dr);
            di = rnd(di);
        }
        const double sr = a0r + t1r;
        const double si = a0i + t1i;
        const double pr = t2r + t3r;
        const double pi = t2i + t3i;
        double qr = t2r - t3r;
        if (RoundQ) qr = rnd(qr);
        const double qi = t2i - t3i;
        p0[b] = static_cast<float>(pr + sr);
        p0[B + b] = static_cast<float>(pi + si);
        p2[b] = static_cast<float>(sr - pr);
        p2[B + b] = static_cast<float>(si - pi);
        if (Fwd) {
            p1[b] = static_cast<float>(dr + qi);
            p1[B + b] = static_cast<float>(di - qr);
            p3[b] = static_cast<float>(dr - qi);
            p3[B + b] = static_cast<float>(di + qr);
        } else {
            p1[b] = static_cast<float>(dr - qi);
            p1[B + b] = static_cast<float>(di + qr);
            p3[b] = static_cast<float>(dr + qi);
            p3[B + b] = static_cast<float>(di - qr);
        }
    }
}

// a * w (forward) or a * conj(w) (inverse).
template <bool Fwd>
inline void twiddle(double ar, double ai, double wr, double wi, double& re, double& im) {
    if (Fwd) {
        re = ar * wr - ai * wi;
        im = ai * wr + ar * wi;
    } else {
        re = ar * wr + ai * wi;
        im = ai * wr - ar * wi;
    }
}

// x * w16^2 from s2 alone, x * w16^6 from s3 alone.
template <bool Fwd>
inline void byW2(double s2, double xr, double xi, double& re, double& im) {
    if (Fwd) {
        re = s2 * (xr + xi);
        im = s2 * (xi - xr);
    } else {
        re = s2 * (xr - xi);
        im = s2 * (xr + xi);
    }
}
template <bool Fwd>
inline void byW6(double s3, double xr, double xi, double& re, double& im) {
    if (Fwd) {
        re = s3 * (xr - xi);
        im = s3 * (xr + xi);
    } else {
        re = s3 * (xr + xi);
        im = s3 * (xi - xr);
    }
}

// Twiddle-free butterfly (k = 0 of any stage).
template <int B, bool Fwd>
inline void butterfly0(float* p0, float* p1, float* p2, float* p3) {
    butterflies<B, Fwd, true, false>(p0, p1, p2, p3,
                                     [](double x1r, double x1i, double x2r, double x2i, double x3r, double x3i,
                                        double& t1r, double& t1i, double& t2r, double& t2i, double& t3r, double& t3i) {
                                         t1r = x1r;
                                         t1i = x1i;
                                         t2r = x2r;
                                         t2i = x2i;
                                         t3r = x3r;
                                         t3i = x3i;
                                     });
}

template <int B, bool Fwd>
void stage4(float* block, int len) {
    for (int p = 0; p < len; p += 4) {
        butterfly0<B, Fwd>(at<B>(block, p), at<B>(block, p + 1), at<B>(block, p + 2), at<B>(block, p + 3));
    }
}

// Radix-2 combination a +- u of every lane, u formed from x by U.
template <int B, class U>
inline void radix2(float* __restrict a, float* __restrict x, U u) {
    for (int b = 0; b < B; ++b) {
        double ur, ui;
        u(static_cast<double>(x[b]), static_cast<double>(x[B + b]), ur, ui);
        const double ar = a[b], ai = a[B + b];
        a[b] = static_cast<float>(ar + ur);
        a[B + b] = static_cast<float>(ai + ui);
        x[b] = static_cast<float>(ar - ur);
        x[B + b] = static_cast<float>(ai - ui);
    }
}

// Radix-2 combination of two 4-point results per 8 points; c0 and c1 are the
// stored cos(pi/4) and -sin(pi/4).
template <int B, bool Fwd>
void stage8(float* block, int len, const float* tw) {
    const double c0 = tw[6 * (len / 8)];
    const double c1 = tw[6 * (len / 8) + 1];
    for (int p = 0; p < len; p += 8) {
        radix2<B>(at<B>(block, p), at<B>(block, p + 4), [](double xr, double xi, double& ur, double& ui) {
            ur = xr;
            ui = xi;
        });
        radix2<B>(at<B>(block, p + 1), at<B>(block, p + 5), [c0](double xr, double xi, double& ur, double& ui) {
            ur = Fwd ? c0 * (xr + xi) : c0 * (xr - xi);
            ui = Fwd ? c0 * (xi - xr) : c0 * (xr + xi);
        });
        radix2<B>(at<B>(block, p + 2), at<B>(block, p + 6), [](double xr, double xi, double& ur, double& ui) {
            ur = Fwd ? xi : -xi;
            ui = Fwd ? -xr : xr;
        });
        radix2<B>(at<B>(block, p + 3), at<B>(block, p + 7), [c1](double xr, double xi, double& ur, double& ui) {
            ur = Fwd ? c1 * (xr - xi) : c1 * (xr + xi);
            ui = Fwd ? c1 * (xr + xi) : c1 * (xi - xr);
        });
    }
}

// Radix-4 stage of group size 16 with the twiddles of entry len/16:
// s0..s5 = w16, w16^2, w16^3.
template <int B, bool Fwd>
void stage16(float* block, int len, const float* tw) {
    const float* e = tw + 6 * (len / 16);
    const double s0 = e[0], s1 = e[1], s2 = e[2], s3 = e[3], s4 = e[4], s5 = e[5];
    for (int p = 0; p < len; p += 16) {
        butterfly0<B, Fwd>(at<B>(block, p), at<B>(block, p + 4), at<B>(block, p + 8), at<B>(block, p + 12));
        butterflies<B, Fwd, false, false>(
            at<B>(block, p + 1), at<B>(block, p + 5), at<B>(block, p + 9), at<B>(block, p + 13),
            [=](double x1r, double x1i, double x2r, double x2i, double x3r, double x3i, double& t1r, double& t1i,
                double& t2r, double& t2i, double& t3r, double& t3i) {
                byW2<Fwd>(s2, x1r, x1i, t1r, t1i);
                twiddle<Fwd>(x2r, x2i, s0, s1, t2r, t2i);
                twiddle<Fwd>(x3r, x3i, s4, s5, t3r, t3i);
            });
        butterflies<B, Fwd, false, true>(
            at<B>(block, p + 2), at<B>(block, p + 6), at<B>(block, p + 10), at<B>(block, p + 14),
            [=](double x1r, double x1i, double x2r, double x2i, double x3r, double x3i, double& t1r, double& t1i,
                double& t2r, double& t2i, double& t3r, double& t3i) {
                t1r = Fwd ? x1i : -x1i;
                t1i = Fwd ? -x1r : x1r;
                byW2<Fwd>(s2, x2r, x2i, t2r, t2i);
                byW6<Fwd>(s3, x3r, x3i, t3r, t3i);
            });
        butterflies<B, Fwd, false, true>(
            at<B>(block, p + 3), at<B>(block, p + 7), at<B>(block, p + 11), at<B>(block, p + 15),
            [=](double x1r, double x1i, double x2r, double x2i, double x3r, double x3i, double& t1r, double& t1i,
                double& t2r, double& t2i, double& t3r, double& t3i) {
                byW6<Fwd>(s3, x1r, x1i, t1r, t1i);
                twiddle<Fwd>(x2r, x2i, s4, s5, t2r, t2i);
                // w16^9 = s5 + i s4
                t3r = Fwd ? s5 * x3r - s4 * x3i : s5 * x3r + s4 * x3i;
                t3i = Fwd ? s4 * x3r + s5 * x3i : s5 * x3i - s4 * x3r;
            });
    }
}

// Radix-4 stage of group size G = 4L >= 32; butterfly k reads table entry
// k * len / G: w^k, w^2k, w^3k of w = exp(-2 pi i / G). t1 is rounded.
template <int B, bool Fwd>
void stageRadix4(float* block, int len, const float* tw, int G) {
    const int L = G / 4;
    const std::int64_t entryStep = 6 * static_cast<std::int64_t>(len / G);
    for (int g = 0; g < len; g += G) {
        butterfly0<B, Fwd>(at<B>(block, g), at<B>(block, g + L), at<B>(block, g + 2 * L), at<B>(block, g + 3 * L));
    }
    for (int k = 1; k < L; ++k) {
        const float* w = tw + entryStep * k;
        const double w1r = w[0], w1i = w[1], w2r = w[2], w2i = w[3], w3r = w[4], w3i = w[5];
        auto twid = [=](double x1r, double x1i, double x2r, double x2i, double x3r, double x3i, double& t1r,
                        double& t1i, double& t2r, double& t2i, double& t3r, double& t3i) {
            twiddle<Fwd>(x1r, x1i, w2r, w2i, t1r, t1i);
            t1r = rnd(t1r);
            t1i = rnd(t1i);
            twiddle<Fwd>(x2r, x2i, w1r, w1i, t2r, t2i);
            twiddle<Fwd>(x3r, x3i, w3r, w3i, t3r, t3i);
        };
        for (int g = 0; g < len; g += G) {
            butterflies<B, Fwd, false, true>(at<B>(block, g + k), at<B>(block, g + k + L), at<B>(block, g + k + 2 * L),
                                             at<B>(block, g + k + 3 * L), twid);
        }
    }
}

template <int B, bool Fwd>
void directBatch(float* block, int len, const float* tw) {
    stage4<B, Fwd>(block, len);
    const bool odd = (len & 0xAAAAAAAA) != 0;
    int G;
    if (odd) {
        stage8<B, Fwd>(block, len, tw);
        G = 32;
    } else {
        stage16<B, Fwd>(block, len, tw);
        G = 64;
    }
    for (; G <= len; G *= 4) stageRadix4<B, Fwd>(block, len, tw, G);
}

// rev[k] = k with its `order` low bits reversed.
void bitReverseIndices(int order, int* rev) {
    const int n = 1 << order;
    for (int k = 0; k < n; ++k) {
        int r = 0;
        for (int i = 0; i < order; ++i) r |= ((k >> i) & 1) << (order - 1 - i);
        rev[k] = r;
    }
}

inline bool scaleFlag(const VpsFFTSpec_C_32fc* spec, bool fwd) {
    return (fwd ? spec->fwdScaleFlag : spec->invScaleFlag) == 1;
}

inline const float* rowAt(const float* base, int step, std::int64_t r) {
    return reinterpret_cast<const float*>(reinterpret_cast<const Vp8u*>(base) + r * step);
}
inline float* rowAt(float* base, int step, std::int64_t r) {
    return reinterpret_cast<float*>(reinterpret_cast<Vp8u*>(base) + r * step);
}

template <int B, bool Fwd>
void rowsBatch(const float* src, int srcStep, float* dst, int dstStep, std::int64_t r0, int len, const int* rev,
               const VpsFFTSpec_C_32fc* spec, float* block) {
    // Gather: point k of lane b is element rev[k] of row r0 + b.
    for (int b = 0; b < B; ++b) {
        const float* row = rowAt(src, srcStep, r0 + b);
        for (int k = 0; k < len; ++k) {
            float* p = block + 2 * B * static_cast<std::int64_t>(k);
            std::memcpy(p + b, row + 2 * rev[k], 4);
            std::memcpy(p + B + b, row + 2 * rev[k] + 1, 4);
        }
    }
    directBatch<B, Fwd>(block, len, spec->pTwdDirect);
    const float factor = spec->normFactor;
    for (int b = 0; b < B; ++b) {
        float* row = rowAt(dst, dstStep, r0 + b);
        const float* p = block + b;
        if (scaleFlag(spec, Fwd)) {
            for (int k = 0; k < len; ++k, p += 2 * B) {
                row[2 * k] = p[0] * factor;
                row[2 * k + 1] = p[B] * factor;
            }
        } else {
            for (int k = 0; k < len; ++k, p += 2 * B) {
                row[2 * k] = p[0];
                row[2 * k + 1] = p[B];
            }
        }
    }
}

template <int B, bool Fwd>
void columnsBatch(float* dst, int dstStep, std::int64_t c0, int len, const int* rev, const VpsFFTSpec_C_32fc* spec,
                  float* block) {
    // Gather: point k of lane b is element c0 + b of row rev[k].
    for (int k = 0; k < len; ++k) {
        const float* row = rowAt(dst, dstStep, rev[k]) + 2 * c0;
        float* p = block + 2 * B * static_cast<std::int64_t>(k);
        for (int b = 0; b < B; ++b) {
            std::memcpy(p + b, row + 2 * b, 4);
            std::memcpy(p + B + b, row + 2 * b + 1, 4);
        }
    }
    directBatch<B, Fwd>(block, len, spec->pTwdDirect);
    const float factor = spec->normFactor;
    for (int k = 0; k < len; ++k) {
        float* row = rowAt(dst, dstStep, k) + 2 * c0;
        const float* p = at<B>(block, k);
        if (scaleFlag(spec, Fwd)) {
            for (int b = 0; b < B; ++b) {
                row[2 * b] = p[b] * factor;
                row[2 * b + 1] = p[B + b] * factor;
            }
        } else {
            for (int b = 0; b < B; ++b) {
                row[2 * b] = p[b];
                row[2 * b + 1] = p[B + b];
            }
        }
    }
}

// Blocks of up to kStackFloats floats live on the stack (sixteen transforms of
// up to 128 points); larger ones use the caller's work area, eight wide.
constexpr int kWide = 16;
constexpr int kNarrow = 8;
constexpr int kStackFloats = 2 * kWide * 128;
// Both sides of a batched shape have at least 16 points: whole batches only.
static_assert(16 % kWide == 0 && 16 % kNarrow == 0, "a batch must divide the shortest side");

// How a pass of transforms of 2^order points is batched: 16 wide on the
// stack, 8 wide in the work area, or not at all (0).
inline int batchWidth(int order, std::int64_t workFloats) {
    const std::int64_t len = std::int64_t{1} << order;
    if (2 * kWide * len <= kStackFloats) return kWide;
    if (2 * kNarrow * len <= workFloats) return kNarrow;
    return 0;
}

template <bool Fwd>
VpStatus pass2D(const float* src, int srcStep, float* dst, int dstStep, const VpsFFTSpec_C_32fc* rowSpec,
                const VpsFFTSpec_C_32fc* colSpec, float* work, std::int64_t workFloats) {
    const int orderX = rowSpec->order;
    const int orderY = colSpec->order;
    const int W = 1 << orderX;
    const int H = 1 << orderY;
    int rev[1 << kFFTBatchMaxOrder];
    float stackBlock[kStackFloats];

    // Rows: in batches when a block fits, else one at a time through the
    // one-dimensional entry (which needs no work area up to order 10). H and
    // W are at least 16, multiples of both batch widths.
    const int rowWidth = batchWidth(orderX, workFloats);
    if (rowWidth != 0) bitReverseIndices(orderX, rev);
    if (rowWidth == kWide) {
        for (std::int64_t r0 = 0; r0 < H; r0 += kWide) {
            rowsBatch<kWide, Fwd>(src, srcStep, dst, dstStep, r0, W, rev, rowSpec, stackBlock);
        }
    } else if (rowWidth != 0) {
        float* block = work;
        for (std::int64_t r0 = 0; r0 < H; r0 += kNarrow) {
            rowsBatch<kNarrow, Fwd>(src, srcStep, dst, dstStep, r0, W, rev, rowSpec, block);
        }
    } else {
        for (std::int64_t r = 0; r < H; ++r) {
            const VpStatus status =
                Fwd ? vpsFFTFwd_CToC_32fc_px(rowAt(src, srcStep, r), rowAt(dst, dstStep, r), rowSpec, nullptr)
                    : vpsFFTInv_CToC_32fc_px(rowAt(src, srcStep, r), rowAt(dst, dstStep, r), rowSpec, nullptr);
            if (status != vpStsNoErr) return status;
        }
    }

    // Columns (FFTBatchHandles_px made sure a block fits).
    bitReverseIndices(orderY, rev);
    if (batchWidth(orderY, workFloats) == kWide) {
        for (std::int64_t c0 = 0; c0 < W; c0 += kWide) {
            columnsBatch<kWide, Fwd>(dst, dstStep, c0, H, rev, colSpec, stackBlock);
        }
    } else {
        float* block = work;
        for (std::int64_t c0 = 0; c0 < W; c0 += kNarrow) {
            columnsBatch<kNarrow, Fwd>(dst, dstStep, c0, H, rev, colSpec, block);
        }
    }
    return vpStsNoErr;
}

}  // namespace

bool FFTBatchHandles_px(int orderX, int orderY, std::int64_t workFloats) {
    return orderX >= 4 && orderX <= kFFTBatchMaxOrder && orderY >= 4 && orderY <= kFFTBatchMaxOrder &&
           batchWidth(orderY, workFloats) != 0;
}

VpStatus FFT2DBatched_px(bool forward, const float* pSrc, int srcStep, float* pDst, int dstStep,
                         const VpsFFTSpec_C_32fc* pRowSpec, const VpsFFTSpec_C_32fc* pColSpec, float* pWork,
                         std::int64_t workFloats) {
    if (forward) return pass2D<true>(pSrc, srcStep, pDst, dstStep, pRowSpec, pColSpec, pWork, workFloats);
    return pass2D<false>(pSrc, srcStep, pDst, dstStep, pRowSpec, pColSpec, pWork, workFloats);
}
