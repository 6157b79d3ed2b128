// One-dimensional transforms of large orders at the a6, w7 and t7 levels:
// the split paths (one and two depths, with direct, fused-order or halving
// rows) against the double-precision reference, and the call forms.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fft_levels.h"
#include "fft_reference.h"

namespace {

using fftlevels::Level;
using fftlevels::Placed;
using fftlevels::Spec;
using fftref::cd;

// Orders 17..22 both ways, scaled by 1/N through the row transforms only:
// a6 splits with direct rows up to order 20 and halving rows at 21 and 22;
// w7 recurses two depths from order 19; t7 splits once.
TEST(FFTLevelsLarge, OrdersSeventeenToTwentyTwoAgainstReference) {
    for (int order = 17; order <= 22; ++order) {
        const int N = 1 << order;
        const std::vector<float> x = fftref::randomSignal(N, 1200 + order);
        const std::vector<cd> xc = fftref::toComplex(x.data(), N);
        const double norm = fftref::norm2(x.data(), N);
        for (bool fwd : {true, false}) {
            const std::vector<cd> want = fftref::fft(xc, fwd ? -1 : 1);
            const double scale = fwd ? 1.0 : 1.0 / N;
            for (const Level* lv : fftlevels::kSimd) {
                Spec spec(*lv, order, VP_FFT_DIV_INV_BY_N);
                ASSERT_EQ(spec.status, vpStsNoErr);
                std::vector<float> got(2 * static_cast<std::size_t>(N));
                ASSERT_EQ(fftlevels::run(*lv, fwd, x.data(), got.data(), spec.p), vpStsNoErr);
                EXPECT_LE(fftref::maxError(got.data(), want, scale), fftref::tolerance(N, norm, scale))
                    << lv->name << " order " << order << (fwd ? " forward" : " inverse");
            }
        }
    }
}

// In place, misaligned destination (through the direct kernels' buffer) and
// the caller's buffer 4 past a boundary give the out-of-place floats; each
// flag's round trip restores the input.
TEST(FFTLevelsLarge, CallFormsAndRoundTrips) {
    for (const Level* lv : fftlevels::kSimd) {
        for (int order : {19, 21}) {
            const int N = 1 << order;
            const std::vector<float> x = fftref::randomSignal(N, 1300 + order);
            const double norm = fftref::norm2(x.data(), N);
            for (int flag : {1, 2, 4, 8}) {
                Spec spec(*lv, order, flag);
                std::vector<float> ref(2 * static_cast<std::size_t>(N)), back(ref.size());
                ASSERT_EQ(lv->fwd(x.data(), ref.data(), spec.p, nullptr), vpStsNoErr);
                ASSERT_EQ(lv->inv(ref.data(), back.data(), spec.p, nullptr), vpStsNoErr);
                const double gain = flag == 8 ? N : 1.0;
                EXPECT_LE(fftref::maxError(back.data(), fftref::toComplex(x.data(), N), gain),
                          2 * fftref::tolerance(N, norm, gain))
                    << lv->name << " order " << order << " flag " << flag;
                if (flag != 4) continue;
                std::vector<float> inPlace = x;
                ASSERT_EQ(lv->fwd(inPlace.data(), inPlace.data(), spec.p, nullptr), vpStsNoErr);
                EXPECT_EQ(inPlace, ref) << lv->name << " order " << order;
                std::vector<Vp8u> bufStore(spec.bufSize() + 32);
                Vp8u* buf = bufStore.data();
                while (reinterpret_cast<std::uintptr_t>(buf) % 16 != 4) ++buf;
                Placed odd(2 * static_cast<std::size_t>(N), 4);
                ASSERT_EQ(lv->fwd(x.data(), odd.p, spec.p, buf), vpStsNoErr);
                EXPECT_EQ(std::memcmp(odd.p, ref.data(), 8 * static_cast<std::size_t>(N)), 0)
                    << lv->name << " order " << order;
            }
        }
    }
}

}  // namespace
