// One-dimensional px transforms: small-order worked examples, every order
// against a double-precision reference, normalisation round trips, the
// agreement of in-place, out-of-place, buffered and unbuffered calls, and the
// status order.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "fft_reference.h"
#include "heap_probe.h"
#include "primitives/core/memory.h"
#include "primitives/fft/fft_px.h"
#include "primitives/primitives.h"

namespace {

using fftref::cd;

std::uint32_t bitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

struct Spec {
    VpsFFTSpec_C_32fc* p = nullptr;
    Spec(int order, int flag) { EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&p, order, flag, vpAlgHintFast), vpStsNoErr); }
    ~Spec() {
        if (p) vpsFFTFree_C_32fc_px(p);
    }
    Spec(const Spec&) = delete;
    Spec& operator=(const Spec&) = delete;
};

VpStatus run(bool fwd, const float* src, float* dst, const VpsFFTSpec_C_32fc* spec, Vp8u* buf = nullptr) {
    return fwd ? vpsFFTFwd_CToC_32fc_px(src, dst, spec, buf) : vpsFFTInv_CToC_32fc_px(src, dst, spec, buf);
}

// ---------------------------------------------------------------- small orders

TEST(FFTSmall, FourPointUnitAtIndexOne) {
    const float x[8] = {0, 0, 1, 0, 0, 0, 0, 0};
    float X[8];
    FFTInvOrder2_px(x, X);
    EXPECT_EQ(std::vector<float>(X, X + 8), (std::vector<float>{1, 0, 0, 1, -1, 0, 0, -1}));
    FFTFwdOrder2_px(x, X);
    EXPECT_EQ(std::vector<float>(X, X + 8), (std::vector<float>{1, 0, 0, -1, -1, 0, 0, 1}));
}

TEST(FFTSmall, EightPointUnitAtIndexOneIsExact) {
    const float c = 0.70710677f;
    ASSERT_EQ(bitsOf(c), 0x3F3504F3u);
    float x[16] = {};
    x[2] = 1;
    float X[16];
    FFTFwdOrder3_px(x, X);
    EXPECT_EQ(std::vector<float>(X, X + 16),
              (std::vector<float>{1, 0, c, -c, 0, -1, -c, -c, -1, 0, -c, c, 0, 1, c, c}));
    FFTInvOrder3_px(x, X);
    EXPECT_EQ(std::vector<float>(X, X + 16),
              (std::vector<float>{1, 0, c, c, 0, 1, -c, c, -1, 0, -c, -c, 0, -1, c, -c}));
}

// Each kernel in place gives the bits of the out-of-place call; an impulse at
// x0 gives all ones.
TEST(FFTSmall, InPlaceAndImpulse) {
    const FFTSmallOrderTable* tables[] = {&FFTFwdSmallOrderTable_px, &FFTInvSmallOrderTable_px};
    for (const FFTSmallOrderTable* t : tables) {
        for (int order = 0; order <= 3; ++order) {
            const int N = 1 << order;
            std::vector<float> x = fftref::randomSignal(N, 10 + order);
            std::vector<float> out(2 * N), inPlace = x;
            t->unscaled[order](x.data(), out.data());
            t->unscaled[order](inPlace.data(), inPlace.data());
            EXPECT_EQ(inPlace, out) << order;
            inPlace = x;
            t->scaled[order](x.data(), out.data(), 0.3f);
            t->scaled[order](inPlace.data(), inPlace.data(), 0.3f);
            EXPECT_EQ(inPlace, out) << order;

            std::vector<float> impulse(2 * N, 0.0f);
            impulse[0] = 1.0f;
            t->unscaled[order](impulse.data(), out.data());
            for (int k = 0; k < N; ++k) {
                EXPECT_EQ(out[2 * k], 1.0f);
                EXPECT_EQ(out[2 * k + 1], 0.0f);
            }
        }
    }
}

TEST(FFTSmall, OrderZeroCopiesBitsAndScaledMultiplies) {
    const std::uint32_t words[2] = {0x7FA00001u, 0x80000000u};  // signalling NaN, -0
    float x[2];
    std::memcpy(x, words, 8);
    float X[2];
    FFTOrder0_px(x, X);
    EXPECT_EQ(std::memcmp(x, X, 8), 0);
    FFTOrder0Scaled_px(x, X, 1.0f);
    EXPECT_TRUE(std::isnan(X[0]));
    EXPECT_NE(bitsOf(X[0]), words[0]);  // the multiplication returns it quiet
    EXPECT_EQ(bitsOf(X[1]), 0x80000000u);
}

// Wide intermediates: values out of single range come back into range.
TEST(FFTSmall, WideIntermediatesStayFinite) {
    const float big = 3.0e38f;
    const float x[4] = {big, 0, big, 0};
    float X[4];
    FFTOrder1Scaled_px(x, X, 0.5f);
    EXPECT_EQ(X[0], big);
    EXPECT_EQ(X[2], 0.0f);
    EXPECT_EQ(X[3], 0.0f);

    const float y[8] = {2.0e38f, 0, 2.0e38f, 0, 2.0e38f, 0, 2.0e38f, 0};
    float Y[8];
    FFTFwdOrder2_px(y, Y);
    EXPECT_EQ(Y[0], std::numeric_limits<float>::infinity());
    EXPECT_EQ(Y[4], 0.0f);
}

// Scaling by a power of two gives the unscaled result times the scale exactly.
TEST(FFTSmall, PowerOfTwoScaleIsExact) {
    for (int order = 0; order <= 3; ++order) {
        const int N = 1 << order;
        std::vector<float> x = fftref::randomSignal(N, 20 + order);
        std::vector<float> plain(2 * N), scaled(2 * N);
        FFTFwdSmallOrderTable_px.unscaled[order](x.data(), plain.data());
        FFTFwdSmallOrderTable_px.scaled[order](x.data(), scaled.data(), 1.0f / N);
        for (int i = 0; i < 2 * N; ++i) EXPECT_EQ(scaled[i], plain[i] / N);
    }
}

// ---------------------------------------------------------------- accuracy

struct Accuracy {
    int order;
    int flag;
};

// Forward and inverse of every order against the double-precision reference,
// with the normalisation of the flag.
void checkOrder(int order, int flag, unsigned seed) {
    const int N = 1 << order;
    Spec spec(order, flag);
    ASSERT_NE(spec.p, nullptr);
    const std::vector<float> x = fftref::randomSignal(N, seed);
    const std::vector<cd> xc = fftref::toComplex(x.data(), N);
    const double norm = fftref::norm2(x.data(), N);
    for (bool fwd : {true, false}) {
        const std::vector<cd> want = fftref::fft(xc, fwd ? -1 : 1);
        const bool scaled = fwd ? spec.p->fwdScaleFlag : spec.p->invScaleFlag;
        const double scale = scaled ? 1.0 / (flag == VP_FFT_DIV_BY_SQRTN ? std::sqrt(double(N)) : double(N)) : 1.0;
        std::vector<float> got(2 * N);
        ASSERT_EQ(run(fwd, x.data(), got.data(), spec.p), vpStsNoErr);
        const double err = fftref::maxError(got.data(), want, scale);
        EXPECT_LE(err, fftref::tolerance(N, norm, scale))
            << "order " << order << (fwd ? " forward" : " inverse") << " flag " << flag;
    }
}

TEST(FFT1D, EveryOrderUpTo16AgainstReference) {
    for (int order = 0; order <= 16; ++order) {
        for (int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_NODIV_BY_ANY}) checkOrder(order, flag, 100 + order);
    }
}

TEST(FFT1D, OrderSevenWithinTwoTenMillionths) {
    // The engine's case: inverse divided by 128 of unit-range input.
    Spec spec(7, VP_FFT_DIV_INV_BY_N);
    const std::vector<float> x = fftref::randomSignal(128, 7);
    const std::vector<cd> want = fftref::fft(fftref::toComplex(x.data(), 128), 1);
    std::vector<float> got(256);
    ASSERT_EQ(vpsFFTInv_CToC_32fc_px(x.data(), got.data(), spec.p, nullptr), vpStsNoErr);
    EXPECT_LE(fftref::maxError(got.data(), want, 1.0 / 128), 2e-7);
}

// Round trips: forward then inverse with one record restores the input (N
// times the input when neither direction scales).
TEST(FFT1D, RoundTripForEachFlag) {
    for (int order : {0, 1, 2, 3, 4, 7, 10, 11, 12, 13}) {
        const int N = 1 << order;
        const std::vector<float> x = fftref::randomSignal(N, 200 + order);
        const double norm = fftref::norm2(x.data(), N);
        for (int flag : {1, 2, 4, 8}) {
            Spec spec(order, flag);
            std::vector<float> y(2 * N), z(2 * N);
            ASSERT_EQ(vpsFFTFwd_CToC_32fc_px(x.data(), y.data(), spec.p, nullptr), vpStsNoErr);
            ASSERT_EQ(vpsFFTInv_CToC_32fc_px(y.data(), z.data(), spec.p, nullptr), vpStsNoErr);
            const double gain = flag == 8 ? N : 1.0;
            const double err = fftref::maxError(z.data(), fftref::toComplex(x.data(), N), gain);
            EXPECT_LE(err, 2 * fftref::tolerance(N, norm, gain)) << "order " << order << " flag " << flag;
        }
    }
}

// In place, out of place, with and without the caller's buffer, with a
// misaligned destination and a misaligned buffer: the same floats.
TEST(FFT1D, AllCallFormsGiveTheSameFloats) {
    for (int order : {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}) {
        const int N = 1 << order;
        for (int flag : {2, 4}) {
            Spec spec(order, flag);
            int bufSize = 0;
            ASSERT_EQ(vpsFFTGetBufSize_C_32fc_px(spec.p, &bufSize), vpStsNoErr);
            const std::vector<float> x = fftref::randomSignal(N, 300 + order);
            for (bool fwd : {true, false}) {
                std::vector<float> ref(2 * N);
                ASSERT_EQ(run(fwd, x.data(), ref.data(), spec.p), vpStsNoErr);

                std::vector<float> inPlace = x;
                ASSERT_EQ(run(fwd, inPlace.data(), inPlace.data(), spec.p), vpStsNoErr);
                EXPECT_EQ(inPlace, ref) << "in place, order " << order;

                // Destination 8 bytes off a 16-byte boundary, buffer 4 past one.
                std::vector<float> dstStore(2 * N + 8);
                float* dst = dstStore.data();
                while (reinterpret_cast<std::uintptr_t>(dst) % 16 != 8) ++dst;
                std::vector<Vp8u> bufStore(bufSize + 32, 0xA5);
                Vp8u* buf = bufStore.data();
                while (reinterpret_cast<std::uintptr_t>(buf) % 16 != 4) ++buf;
                ASSERT_EQ(run(fwd, x.data(), dst, spec.p, buf), vpStsNoErr);
                EXPECT_EQ(std::vector<float>(dst, dst + 2 * N), ref) << "buffered, order " << order;
                // The buffer is used from its next 16-byte boundary on.
                for (int i = 0; i < 12; ++i) EXPECT_EQ(buf[i], 0xA5) << "order " << order;
                for (Vp8u* p = buf + bufSize; p < bufStore.data() + bufStore.size(); ++p) EXPECT_EQ(*p, 0xA5);
            }
        }
    }
}

TEST(FFT1D, SourceUnchangedOutOfPlace) {
    for (int order : {3, 7, 12, 13}) {
        const int N = 1 << order;
        Spec spec(order, VP_FFT_DIV_INV_BY_N);
        const std::vector<float> x = fftref::randomSignal(N, 400 + order);
        std::vector<float> src = x, dst(2 * N);
        ASSERT_EQ(vpsFFTInv_CToC_32fc_px(src.data(), dst.data(), spec.p, nullptr), vpStsNoErr);
        EXPECT_EQ(src, x);
    }
}

TEST(FFT1D, ImpulseAtZeroGivesExactOnes) {
    for (int order = 0; order <= 13; ++order) {
        const int N = 1 << order;
        Spec spec(order, VP_FFT_NODIV_BY_ANY);
        std::vector<float> x(2 * N, 0.0f), X(2 * N);
        x[0] = 1.0f;
        for (bool fwd : {true, false}) {
            ASSERT_EQ(run(fwd, x.data(), X.data(), spec.p), vpStsNoErr);
            for (int k = 0; k < N; ++k) {
                ASSERT_EQ(X[2 * k], 1.0f) << order << " " << k;
                ASSERT_EQ(X[2 * k + 1], 0.0f) << order << " " << k;
            }
        }
    }
}

// A pure tone lands in its bin: forward of exp(2 pi i f n / N) is N at bin f.
TEST(FFT1D, ToneLandsInItsBin) {
    for (int order : {4, 5, 7, 11, 13}) {
        const int N = 1 << order;
        const int f = N / 4 + 3;
        Spec spec(order, VP_FFT_NODIV_BY_ANY);
        std::vector<float> x(2 * N), X(2 * N);
        for (int n = 0; n < N; ++n) {
            const double a = 2 * 3.14159265358979323846 * f * n / N;
            x[2 * n] = static_cast<float>(std::cos(a));
            x[2 * n + 1] = static_cast<float>(std::sin(a));
        }
        ASSERT_EQ(vpsFFTFwd_CToC_32fc_px(x.data(), X.data(), spec.p, nullptr), vpStsNoErr);
        for (int k = 0; k < N; ++k) {
            const double want = k == f ? N : 0.0;
            EXPECT_NEAR(X[2 * k], want, 1e-5 * N) << order << " " << k;
            EXPECT_NEAR(X[2 * k + 1], 0.0, 1e-5 * N) << order << " " << k;
        }
    }
}

// ---------------------------------------------------------------- statuses

TEST(FFT1D, StatusOrder) {
    Spec spec(7, VP_FFT_DIV_INV_BY_N);
    std::vector<float> x(256, 1.0f), y(256, 5.0f);
    const std::vector<float> untouched = y;
    for (bool fwd : {true, false}) {
        EXPECT_EQ(run(fwd, nullptr, nullptr, nullptr), vpStsNullPtrErr);
        VpsFFTSpec_C_32fc other = *spec.p;
        other.idCtx = 6;
        EXPECT_EQ(run(fwd, nullptr, y.data(), &other), vpStsContextMatchErr);
        other.idCtx = 0;  // a released record
        EXPECT_EQ(run(fwd, x.data(), y.data(), &other), vpStsContextMatchErr);
        EXPECT_EQ(run(fwd, nullptr, y.data(), spec.p), vpStsNullPtrErr);
        EXPECT_EQ(run(fwd, x.data(), nullptr, spec.p), vpStsNullPtrErr);
        EXPECT_EQ(y, untouched);
    }
}

// px up to order 10 needs no buffer and allocates nothing; above it, a call
// without a buffer allocates bufSize bytes and releases them, and reports an
// allocation failure with the destination untouched.
TEST(FFT1D, OwnBufferOnlyAboveOrderTen) {
    for (int order : {10, 11, 13}) {
        const int N = 1 << order;
        Spec spec(order, VP_FFT_DIV_INV_BY_N);
        const std::vector<float> x = fftref::randomSignal(N, 500 + order);
        std::vector<float> y(2 * N, 7.0f);
        {
            heapprobe::Scope heap;
            ASSERT_EQ(vpsFFTInv_CToC_32fc_px(x.data(), y.data(), spec.p, nullptr), vpStsNoErr);
            EXPECT_EQ(heapprobe::allocations(), order <= 10 ? 0 : 1);
            EXPECT_EQ(heapprobe::live(), 0);
        }
        if (order > 10) {
            std::vector<float> z(2 * N, 7.0f);
            heapprobe::Scope heap(1);
            EXPECT_EQ(vpsFFTFwd_CToC_32fc_px(x.data(), z.data(), spec.p, nullptr), vpStsMemAllocErr);
            EXPECT_EQ(z, std::vector<float>(2 * N, 7.0f));
        }
    }
}

}  // namespace
