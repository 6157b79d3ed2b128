// The SIMD levels' depth conversions: bytes to floats exactly as px; floats
// to bytes as px except NaN (255 here, 0 at px); the rounding mode switched
// for the call is restored afterwards. Every width 1 to 40 and offset, the
// reach ending on a guard page, and contiguous images converted in one run.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "primitives/core/cpu.h"
#include "primitives/core/dispatch_variants.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

float convertible(std::uint32_t& rng) {
    switch (nextRandom(rng) % 14) {
        case 0: return kNaN;
        case 1: return kInf;
        case 2: return -kInf;
        case 3: return static_cast<float>(nextRandom(rng) % 256) + 0.5f;  // ties
        case 4: return 254.5f;
        case 5: return -0.0f;
        case 6: return 1e9f;
        default: return static_cast<float>(static_cast<int>(nextRandom(rng) % 30001) - 2000) / 100.0f;
    }
}

TEST(ConvertLevels, BytesToFloatsEveryWidthAndOffset) {
    std::uint32_t rng = 51;
    for (VpLevel level : kSimdLevels)
        for (const Shape& s : tableShapes()) {
            OffsetRows<Vp8u> src(s.width, 2, s.srcOffset, 8, true);
            OffsetRows<float> dst(s.width, 2, s.dstOffset, 8, true);
            src.fill([&](int, int) { return static_cast<Vp8u>(nextRandom(rng)); });
            ASSERT_EQ(LEVEL_VARIANTS(vpiConvert_8u32f_C1R)[level](src.data(), src.step(), dst.data(), dst.step(),
                                                                  {s.width, 2}),
                      vpStsNoErr);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < s.width; ++x)
                    ASSERT_EQ(dst.get(x, y), static_cast<float>(src.get(x, y))) << describe(level, s);
            ASSERT_TRUE(dst.canariesIntact()) << describe(level, s);
        }
}

TEST(ConvertLevels, FloatsToBytesEveryWidthOffsetAndRounding) {
    std::uint32_t rng = 53;
    for (VpLevel level : kSimdLevels)
        for (const Shape& s : tableShapes())
            for (VpRoundMode mode : {VpRoundMode(vpRndNear), VpRoundMode(vpRndZero), VpRoundMode(7)}) {
                OffsetRows<float> src(s.width, 2, s.srcOffset, 8, true);
                OffsetRows<Vp8u> dst(s.width, 2, s.dstOffset, 8, true), px(s.width, 2, 0);
                src.fill([&](int, int) { return convertible(rng); });
                ASSERT_EQ(LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](src.data(), src.step(), dst.data(), dst.step(),
                                                                      {s.width, 2}, mode),
                          vpStsNoErr);
                ASSERT_EQ(vpiConvert_32f8u_C1R_px(src.data(), src.step(), px.data(), px.step(), {s.width, 2}, mode),
                          vpStsNoErr);
                for (int y = 0; y < 2; ++y)
                    for (int x = 0; x < s.width; ++x) {
                        const float in = src.get(x, y);
                        ASSERT_EQ(dst.get(x, y), std::isnan(in) ? 255 : px.get(x, y))
                            << describe(level, s) << " mode " << mode << " value " << in;
                    }
                ASSERT_TRUE(dst.canariesIntact()) << describe(level, s);
            }
}

TEST(ConvertLevels, NamedValuesAndContiguousImages) {
    const float in[] = {0.5f, 1.5f, 2.5f, 254.5f, 254.6f, 255.0f, 300.0f, -3.7f, kInf, -kInf, 1.9f, 254.99f, kNaN};
    const Vp8u nearest[] = {0, 2, 2, 254, 255, 255, 255, 0, 255, 0, 2, 255, 255};
    const Vp8u truncated[] = {0, 1, 2, 254, 254, 255, 255, 0, 255, 0, 1, 254, 255};
    for (VpLevel level : kSimdLevels) {
        Vp8u out[13];
        ASSERT_EQ(LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](in, 52, out, 13, {13, 1}, vpRndNear), vpStsNoErr);
        for (int i = 0; i < 13; ++i) EXPECT_EQ(out[i], nearest[i]) << levelName(level) << " " << in[i];
        ASSERT_EQ(LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](in, 52, out, 13, {13, 1}, vpRndZero), vpStsNoErr);
        for (int i = 0; i < 13; ++i) EXPECT_EQ(out[i], truncated[i]) << levelName(level) << " " << in[i];
        // Contiguous images (one run) against row by row, both ways.
        GuardedRows<float> f(37, 9);
        GuardedRows<Vp8u> b(37, 9), rowByRow(37, 9, 3);
        std::uint32_t rng = 7;
        f.fill([&](int, int) { return convertible(rng); });
        ASSERT_EQ(LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](f.data(), f.step(), b.data(), b.step(), f.size(), vpRndNear),
                  vpStsNoErr);
        ASSERT_EQ(LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](f.data(), f.step(), rowByRow.data(), rowByRow.step(),
                                                              f.size(), vpRndNear),
                  vpStsNoErr);
        GuardedRows<float> back(37, 9);
        ASSERT_EQ(LEVEL_VARIANTS(vpiConvert_8u32f_C1R)[level](b.data(), b.step(), back.data(), back.step(), b.size()),
                  vpStsNoErr);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 37; ++x) {
                ASSERT_EQ(b.get(x, y), rowByRow.get(x, y));
                ASSERT_EQ(back.get(x, y), float(b.get(x, y)));
            }
        EXPECT_TRUE(rowByRow.canariesIntact());
        // Checks.
        EXPECT_EQ(LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](nullptr, 4, out, 1, {1, 1}, vpRndNear), vpStsNullPtrErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](in, 4, out, 1, {0, 1}, vpRndNear), vpStsSizeErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiConvert_8u32f_C1R)[level](out, 0, back.data(), 4, {1, 1}), vpStsStepErr);
    }
}

// The narrowing conversion switches the rounding field of MXCSR for the call
// only: read back afterwards, MXCSR holds what it held before, from either
// rounding and for either mode asked (also after argument errors).
TEST(ConvertLevels, RoundingModeIsRestored) {
    const unsigned original = vpGetMxcsr();
    const float in[3] = {1.5f, 2.5f, 7.9f};
    Vp8u out[3];
    for (VpLevel level : kSimdLevels)
        for (unsigned before : {0x1F80u, 0x7F80u, 0x3F80u, 0x5F80u})
            for (VpRoundMode mode : {VpRoundMode(vpRndNear), VpRoundMode(vpRndZero)}) {
                vpRestoreMxcsr(before);
                const VpStatus st = LEVEL_VARIANTS(vpiConvert_32f8u_C1R)[level](in, 12, out, 3, {3, 1}, mode);
                const unsigned after = vpGetMxcsr();
                vpRestoreMxcsr(original);
                ASSERT_EQ(st, vpStsNoErr);
                EXPECT_EQ(after & ~0x3Fu, before) << levelName(level) << " mode " << mode << std::hex << " from " << before;
                EXPECT_EQ(out[0], mode == vpRndNear ? 2 : 1);
                EXPECT_EQ(out[2], mode == vpRndNear ? 8 : 7);
            }
    EXPECT_EQ(vpGetMxcsr() & ~0x3Fu, original & ~0x3Fu);
}

}  // namespace
