// One-dimensional px transforms of large orders: the recursive path (one and
// two depths) and the blocked rows inside it, against the double-precision
// reference, with every call form giving the same floats.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fft_reference.h"
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

}  // namespace
