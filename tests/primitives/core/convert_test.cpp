#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "guarded_image.h"
#include "primitives/core/cpu.h"
#include "primitives/core/dispatch_variants.h"
#include "primitives/primitives.h"

namespace {

Vp8u narrow(float x, VpRoundMode mode) {
    Vp8u out = 0x5A;
    EXPECT_EQ(vpiConvert_32f8u_C1R(&x, 4, &out, 1, {1, 1}, mode), vpStsNoErr);
    return out;
}

TEST(DepthConversion, RoundingToNearestEven) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float x;
        int expected;
    } cases[] = {{0.5f, 0},   {1.5f, 2},   {2.5f, 2},   {3.5f, 4},     {254.5f, 254}, {254.6f, 255},
                 {255.0f, 255}, {300.0f, 255}, {-3.7f, 0}, {inf, 255},  {-inf, 0},     {0.49999997f, 0},
                 {1e-40f, 0},  {-0.0f, 0},   {127.5f, 128}, {126.5f, 126}, {std::nanf(""), 0},
                 // One unit above one half: the sum with 0.5 is not a tie, whatever float rounding would make of it.
                 {0.50000006f, 1}};
    for (const auto& c : cases) EXPECT_EQ(narrow(c.x, vpRndNear), c.expected) << c.x;
}

TEST(DepthConversion, EveryOtherModeTruncates) {
    for (VpRoundMode mode : {VpRoundMode(vpRndZero), 2, -1}) {
        EXPECT_EQ(narrow(1.9f, mode), 1);
        EXPECT_EQ(narrow(254.99f, mode), 254);
        EXPECT_EQ(narrow(0.99f, mode), 0);
        EXPECT_EQ(narrow(-0.5f, mode), 0);
        EXPECT_EQ(narrow(1000.0f, mode), 255);
        EXPECT_EQ(narrow(std::nanf(""), mode), 0);
    }
}

TEST(DepthConversion, BytesToFloatsAndBackOverRegions) {
    for (int width : {1, 5, 16, 33}) {
        GuardedImage<Vp8u> bytes(width, 3, 5, width % 3);
        GuardedImage<float> floats(width, 3, 8);
        bytes.fill([](int x, int y) { return Vp8u((x * 37 + y * 91) & 255); });
        bytes.set(0, 0, 0);
        bytes.set(width - 1, 2, 255);
        ASSERT_EQ(vpiConvert_8u32f_C1R(bytes.data(), bytes.step(), floats.data(), floats.step(), bytes.size()), vpStsNoErr);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) EXPECT_EQ(floats.get(x, y), float(bytes.get(x, y)));
        EXPECT_TRUE(floats.guardsIntact());
        GuardedImage<Vp8u> back(width, 3, 7);
        ASSERT_EQ(vpiConvert_32f8u_C1R(floats.data(), floats.step(), back.data(), back.step(), bytes.size(), vpRndNear),
                  vpStsNoErr);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) EXPECT_EQ(back.get(x, y), bytes.get(x, y));
        EXPECT_TRUE(back.guardsIntact());
    }
}

TEST(DepthConversion, ContiguousImageGivesTheSameAsRowByRow) {
    // srcStep = 4 * dstStep and dstStep = width: one run of width*height values.
    std::vector<float> src(6 * 4);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = float(i) * 10.25f;
    std::vector<Vp8u> dst(24, 0);
    ASSERT_EQ(vpiConvert_32f8u_C1R(src.data(), 24, dst.data(), 6, {6, 4}, vpRndNear), vpStsNoErr);
    for (std::size_t i = 0; i < src.size(); ++i) EXPECT_EQ(dst[i], narrow(src[i], vpRndNear)) << i;
}

// The narrowing as the rounding rule states it, with x + 0.5 formed exactly
// (in double).
int modelByte(float x, bool nearest) {
    if (x >= 255.0f) return 255;
    if (!(x > 0.0f)) return 0;
    if (!nearest) return static_cast<int>(x);
    const double halfUp = static_cast<double>(x) + 0.5;
    const int e = static_cast<int>(halfUp);
    return (e & 1) && static_cast<double>(e) == halfUp ? e - 1 : e;
}

// Float patterns where rounding can go wrong: 64 units either side of every
// multiple of one half up to 256 (with both signs), patterns spread over the
// whole space, and the special values.
std::vector<float> roundingRelevantFloats() {
    std::vector<std::uint32_t> patterns;
    for (int k = 0; k <= 512; ++k) {
        const float centre = 0.5f * static_cast<float>(k);
        std::uint32_t c;
        std::memcpy(&c, &centre, sizeof c);
        for (std::uint32_t d = 0; d <= 128; ++d) {
            if (c + d < 64) continue;
            patterns.push_back(c + d - 64);
            patterns.push_back((c + d - 64) | 0x80000000u);
        }
    }
    for (std::uint64_t p = 0; p < (1ull << 32); p += 4093) patterns.push_back(static_cast<std::uint32_t>(p));
    for (std::uint32_t p : {0x00000000u, 0x80000000u, 0x00000001u, 0x007FFFFFu, 0x7F800000u, 0xFF800000u,
                            0x7FC00000u, 0xFFC00000u, 0x7F800001u, 0xFFFFFFFFu, 0x437EFFFFu, 0x437F0000u})
        patterns.push_back(p);
    std::vector<float> floats(patterns.size());
    std::memcpy(floats.data(), patterns.data(), patterns.size() * sizeof(float));
    return floats;
}

TEST(DepthConversion, PlainLevelFollowsTheRoundingRuleInEveryRoundingMode) {
    const std::vector<float> src = roundingRelevantFloats();
    std::vector<Vp8u> dst(src.size());
    const unsigned saved = vpGetMxcsr();
    // The processor's rounding field must not matter: nearest, down, up, toward zero.
    for (unsigned field : {0x0000u, 0x2000u, 0x4000u, 0x6000u}) {
        vpSetMxcsrRounding(field);
        for (VpRoundMode mode : {VpRoundMode(vpRndNear), VpRoundMode(vpRndZero)}) {
            const int width = static_cast<int>(src.size());
            ASSERT_EQ(vpiConvert_32f8u_C1R_px(src.data(), width * 4, dst.data(), width, {width, 1}, mode), vpStsNoErr);
            int wrong = 0;
            for (std::size_t i = 0; i < src.size() && wrong < 10; ++i)
                if (dst[i] != modelByte(src[i], mode == vpRndNear)) {
                    ADD_FAILURE() << "x " << src[i] << " mode " << mode << " field " << field << " gave "
                                  << int(dst[i]);
                    ++wrong;
                }
        }
    }
    vpRestoreMxcsr(saved);
}

TEST(DepthConversion, ArgumentChecks) {
    float f[4] = {};
    Vp8u b[4] = {9, 9, 9, 9};
    EXPECT_EQ(vpiConvert_8u32f_C1R(nullptr, 0, f, 0, {0, 0}), vpStsNullPtrErr);
    EXPECT_EQ(vpiConvert_8u32f_C1R(b, 4, nullptr, 16, {4, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiConvert_8u32f_C1R(b, 0, f, 0, {4, 0}), vpStsSizeErr);
    EXPECT_EQ(vpiConvert_8u32f_C1R(b, 0, f, 16, {4, 1}), vpStsStepErr);
    EXPECT_EQ(vpiConvert_32f8u_C1R(nullptr, 16, b, 4, {4, 1}, vpRndNear), vpStsNullPtrErr);
    EXPECT_EQ(vpiConvert_32f8u_C1R(f, 16, b, 4, {0, 1}, vpRndNear), vpStsSizeErr);
    EXPECT_EQ(vpiConvert_32f8u_C1R(f, 16, b, -4, {4, 1}, vpRndNear), vpStsStepErr);
    EXPECT_EQ(b[0], 9);
}

}  // namespace
