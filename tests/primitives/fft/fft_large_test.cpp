// One-dimensional px transforms of large orders: the recursive path (one and
// two depths) and the blocked rows inside it, against the double-precision
// reference, with every call form giving the same floats.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fft_reference.h"
#include "primitives/core/memory.h"
#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_px.h"
#include "primitives/primitives.h"

namespace {

using fftref::cd;

struct Spec {
    VpsFFTSpec_C_32fc* p = nullptr;
    Spec(int order, int flag) { EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&p, order, flag, vpAlgHintFast), vpStsNoErr); }
    ~Spec() {
        if (p) vpsFFTFree_C_32fc_px(p);
    }
    Spec(const Spec&) = delete;
    Spec& operator=(const Spec&) = delete;
};

// Orders 17..22: forward against the reference, and up to order 20 the
// inverse too, scaled by 1/N through the row transforms only (orders 21 and 22
// go back through the round trips below).
TEST(FFT1DLarge, OrdersSeventeenToTwentyTwoAgainstReference) {
    for (int order = 17; order <= 22; ++order) {
        const int N = 1 << order;
        Spec spec(order, VP_FFT_DIV_INV_BY_N);
        ASSERT_NE(spec.p, nullptr);
        const std::vector<float> x = fftref::randomSignal(N, 700 + order);
        const std::vector<cd> xc = fftref::toComplex(x.data(), N);
        const double norm = fftref::norm2(x.data(), N);
        std::vector<float> got(2 * static_cast<std::size_t>(N));
        for (bool fwd : {true, false}) {
            if (!fwd && order > 20) continue;
            const double scale = fwd ? 1.0 : 1.0 / N;
            ASSERT_EQ(fwd ? vpsFFTFwd_CToC_32fc_px(x.data(), got.data(), spec.p, nullptr)
                          : vpsFFTInv_CToC_32fc_px(x.data(), got.data(), spec.p, nullptr),
                      vpStsNoErr);
            const std::vector<cd> want = fftref::fft(xc, fwd ? -1 : 1);
            EXPECT_LE(fftref::maxError(got.data(), want, scale), fftref::tolerance(N, norm, scale))
                << "order " << order << (fwd ? " forward" : " inverse");
        }
    }
}

// Round trips for each flag where rows take the blocked path (order 21) and
// where the recursion goes two depths deep (order 23 is too large for a test;
// order 17 splits once into direct rows).
TEST(FFT1DLarge, RoundTripForEachFlag) {
    for (int order : {17, 21}) {
        const int N = 1 << order;
        const std::vector<float> x = fftref::randomSignal(N, 800 + order);
        const double norm = fftref::norm2(x.data(), N);
        for (int flag : {1, 2, 4, 8}) {
            Spec spec(order, flag);
            std::vector<float> y(2 * static_cast<std::size_t>(N));
            ASSERT_EQ(vpsFFTFwd_CToC_32fc_px(x.data(), y.data(), spec.p, nullptr), vpStsNoErr);
            ASSERT_EQ(vpsFFTInv_CToC_32fc_px(y.data(), y.data(), spec.p, nullptr), vpStsNoErr);
            const double gain = flag == 8 ? N : 1.0;
            EXPECT_LE(fftref::maxError(y.data(), fftref::toComplex(x.data(), N), gain),
                      2 * fftref::tolerance(N, norm, gain))
                << "order " << order << " flag " << flag;
        }
    }
}

TEST(FFT1DLarge, CallFormsGiveTheSameFloats) {
    for (int order : {18, 22}) {
        const int N = 1 << order;
        Spec spec(order, VP_FFT_DIV_BY_SQRTN);
        int bufSize = 0;
        ASSERT_EQ(vpsFFTGetBufSize_C_32fc_px(spec.p, &bufSize), vpStsNoErr);
        const std::vector<float> x = fftref::randomSignal(N, 900 + order);
        std::vector<float> ref(2 * static_cast<std::size_t>(N));
        ASSERT_EQ(vpsFFTInv_CToC_32fc_px(x.data(), ref.data(), spec.p, nullptr), vpStsNoErr);
        std::vector<float> inPlace = x;
        std::vector<Vp8u> buf(bufSize + 16);
        ASSERT_EQ(vpsFFTInv_CToC_32fc_px(inPlace.data(), inPlace.data(), spec.p, buf.data() + 3), vpStsNoErr);
        EXPECT_EQ(inPlace, ref) << "order " << order;
    }
}

// The px decompositions at every depth, on orders small enough for a test:
// records built for split tables that cut early, run through the px large
// path with the same tables. Order 16 cut at 2 three times reaches depth 2
// with 4096-point blocked rows; order 15 cut 3 then 2 ends in direct rows.
TEST(FFT1DLarge, DeepDecompositionsWithOtherSplitTables) {
    struct Case {
        int order;
        std::vector<std::pair<int, int>> splits;
        int depths;
        bool blocked;
    };
    const Case cases[] = {
        {16, {{16, 2}, {14, 2}, {12, 0}}, 2, true},
        {16, {{16, 2}, {14, 2}, {12, 2}}, 3, false},
        {15, {{15, 3}, {12, 2}}, 2, false},
        {13, {{13, 2}, {11, 0}}, 1, true},
    };
    for (const Case& c : cases) {
        int split[31] = {};
        for (auto [n, s] : c.splits) split[n] = s;
        FFTLevelLayout layout = FFTLayout_px;
        layout.splitTable = split;
        const int N = 1 << c.order;
        for (int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_DIV_BY_SQRTN}) {
            VpsFFTSpec_C_32fc* spec = nullptr;
            ASSERT_EQ(FFTInitAllocFor(layout, &spec, c.order, flag, 1), vpStsNoErr);
            for (int d = 0; d < 3; ++d) EXPECT_EQ(spec->pTwdMatrix[d] != nullptr, d < c.depths) << c.order;
            EXPECT_EQ(spec->pTwdBlocked != nullptr, c.blocked);
            std::vector<Vp8u> buf(spec->bufSize + 16);
            float* work = reinterpret_cast<float*>(buf.data() + ((16 - reinterpret_cast<std::uintptr_t>(buf.data()) % 16) % 16));
            const std::vector<float> x = fftref::randomSignal(N, 1000 + c.order);
            const std::vector<cd> xc = fftref::toComplex(x.data(), N);
            const double norm = fftref::norm2(x.data(), N);
            for (bool fwd : {true, false}) {
                std::vector<float> data(2 * static_cast<std::size_t>(N));
                FFTBitReverseCopy_px(x.data(), data.data(), N, spec->pBitRev);
                FFTLargeWithSplitTable_px(spec, data.data(), c.order, work, fwd, split);
                const bool scaled = fwd ? spec->fwdScaleFlag : spec->invScaleFlag;
                const double scale = !scaled ? 1.0 : flag == VP_FFT_DIV_BY_SQRTN ? 1.0 / std::sqrt(double(N)) : 1.0 / N;
                EXPECT_LE(fftref::maxError(data.data(), fftref::fft(xc, fwd ? -1 : 1), scale),
                          fftref::tolerance(N, norm, scale))
                    << "order " << c.order << " depths " << c.depths << (fwd ? " forward" : " inverse");
            }
            destroyFFTSpec(spec);
        }
    }
}

}  // namespace
