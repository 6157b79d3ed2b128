// The px arithmetic fixes every bit of its results: which values are carried
// wide and where they are rounded to single precision. These checks hold the
// bits of the px kernels to digests taken from an unoptimised build, so an
// optimiser that reassociates, fuses or skips a rounding (GCC 12's -O2
// vectorizer dropped paired float round trips) fails here, in every build.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_px.h"
#include "primitives/primitives.h"

namespace {

// Inputs from a fixed linear congruential sequence, in [-1, 1).
std::vector<float> signal(std::size_t floats, std::uint32_t seed) {
    std::vector<float> v(floats);
    std::uint32_t s = seed;
    for (float& f : v) {
        s = s * 1664525u + 1013904223u;
        f = static_cast<float>(static_cast<std::int32_t>(s >> 8) - (1 << 23)) / static_cast<float>(1 << 23);
    }
    return v;
}

// FNV-1a over the bytes.
std::uint64_t digest(const float* p, std::size_t floats, std::uint64_t h = 1469598103934665603ull) {
    const auto* c = reinterpret_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < 4 * floats; ++i) {
        h ^= c[i];
        h *= 1099511628211ull;
    }
    return h;
}

TEST(FFTPxBits, SmallOrderKernels) {
    std::uint64_t h = 1469598103934665603ull;
    const FFTSmallOrderTable* tables[] = {&FFTFwdSmallOrderTable_px, &FFTInvSmallOrderTable_px};
    for (const FFTSmallOrderTable* t : tables) {
        for (int order = 0; order <= 3; ++order) {
            const int N = 1 << order;
            const std::vector<float> x = signal(2 * N, 11 + order);
            std::vector<float> y(2 * N);
            t->unscaled[order](x.data(), y.data());
            h = digest(y.data(), y.size(), h);
            t->scaled[order](x.data(), y.data(), 0.70710677f);
            h = digest(y.data(), y.size(), h);
        }
    }
    EXPECT_EQ(h, 0x1cc7c823d4e5116bull);
}

TEST(FFTPxBits, DirectKernelsOfEveryLength) {
    struct Case {
        int order;
        std::uint64_t forward, inverse;
    };
    const Case cases[] = {
        {2, 0xb88b6add86de0564ull, 0xe6e43038e7689598ull}, {3, 0x88cf5be973884d41ull, 0x6915ea9038fb0485ull},
        {4, 0x9ed112817bd8f55bull, 0x2c0049a07591e09bull}, {5, 0xf32c910856216d5aull, 0xf6b42848764a9695ull},
        {6, 0xa7d2ef8d5131fb63ull, 0x425a0a4909f3250bull}, {7, 0xbf9709517246fcd6ull, 0xd829abbcac07ed52ull},
        {8, 0x23b6288ff1e69f5bull, 0xdd462b7283712bf7ull}, {9, 0xc5301e81a774563eull, 0xc1894f4f1c0769a9ull},
        {10, 0xe8cadb4e8f824cf8ull, 0xd9a3fbed6dd8e407ull},
    };
    for (const Case& c : cases) {
        const int N = 1 << c.order;
        float* S = FFTBuildSineTable_px(c.order);
        float* tw = FFTBuildDirectTwiddles_px(c.order, S, c.order);
        const std::vector<float> x = signal(2 * N, 100 + c.order);
        std::vector<float> f = x, i = x;
        FFTFwdDirect_px(f.data(), N, tw);
        FFTInvDirect_px(i.data(), N, tw);
        EXPECT_EQ(digest(f.data(), f.size()), c.forward) << "forward, order " << c.order;
        EXPECT_EQ(digest(i.data(), i.size()), c.inverse) << "inverse, order " << c.order;
        vpsFree(tw);
        vpsFree(S);
    }
}

TEST(FFTPxBits, EntriesOfLargeOrdersAndTwoDimensions) {
    std::uint64_t h = 1469598103934665603ull;
    for (int order : {11, 12, 13, 15}) {
        const int N = 1 << order;
        VpsFFTSpec_C_32fc* spec = nullptr;
        ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, order, VP_FFT_DIV_BY_SQRTN, 1), vpStsNoErr);
        const std::vector<float> x = signal(2 * N, 200 + order);
        std::vector<float> y(2 * N);
        ASSERT_EQ(vpsFFTFwd_CToC_32fc_px(x.data(), y.data(), spec, nullptr), vpStsNoErr);
        h = digest(y.data(), y.size(), h);
        ASSERT_EQ(vpsFFTInv_CToC_32fc_px(x.data(), y.data(), spec, nullptr), vpStsNoErr);
        h = digest(y.data(), y.size(), h);
        vpsFFTFree_C_32fc_px(spec);
    }
    VpiFFTSpec_C_32fc* spec2 = nullptr;
    ASSERT_EQ(vpiFFTInitAlloc_C_32fc_px(&spec2, 7, 7, VP_FFT_DIV_INV_BY_N, 1), vpStsNoErr);
    const std::vector<float> img = signal(2 * 128 * 128, 300);
    std::vector<float> out(img.size());
    ASSERT_EQ(vpiFFTFwd_CToC_32fc_C1R_px(reinterpret_cast<const Vp32fc*>(img.data()), 1024,
                                         reinterpret_cast<Vp32fc*>(out.data()), 1024, spec2, nullptr),
              vpStsNoErr);
    h = digest(out.data(), out.size(), h);
    ASSERT_EQ(vpiFFTInv_CToC_32fc_C1R_px(reinterpret_cast<const Vp32fc*>(img.data()), 1024,
                                         reinterpret_cast<Vp32fc*>(out.data()), 1024, spec2, nullptr),
              vpStsNoErr);
    h = digest(out.data(), out.size(), h);
    vpiFFTFree_C_32fc_px(spec2);
    EXPECT_EQ(h, 0x2781998fe00b99b0ull);
}

}  // namespace
