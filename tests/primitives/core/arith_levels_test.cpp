// The SIMD levels' element-wise float arithmetic gives px's bits on finite
// and infinite operands (a NaN wherever px gives one), over every width 1 to
// 40 and start offset, with the rows' reach ending on a guard page.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "primitives/core/core_levels.h"
#include "primitives/core/core_px.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

constexpr float kInf = std::numeric_limits<float>::infinity();

// Random operands of every kind: ordinary values of mixed magnitude, zeros
// of both signs, infinities, subnormals, the largest floats, and NaN.
float operand(std::uint32_t& rng) {
    switch (nextRandom(rng) % 16) {
        case 0: return 0.0f;
        case 1: return -0.0f;
        case 2: return kInf;
        case 3: return -kInf;
        case 4: return floatOf(nextRandom(rng) & 0x807FFFFFu);  // subnormal
        case 5: return 3.0e38f;
        case 6: return std::numeric_limits<float>::quiet_NaN();
        default: return std::ldexp(static_cast<float>(static_cast<int>(nextRandom(rng) % 20001) - 10000) / 1000.0f,
                                   static_cast<int>(nextRandom(rng) % 40) - 20);
    }
}

// Same bits, or NaN on both sides.
bool agrees(float got, float want) { return bitsOf(got) == bitsOf(want) || (std::isnan(got) && std::isnan(want)); }

// One entry, as a call on three images (some unused): a is read, b is read
// (and written in place), d is written.
struct Entry {
    const char* name;
    bool writesB;  // in place: the result lands in b
    bool wholeFloatSteps;  // takes its steps rounded down to whole floats
    std::function<VpStatus(VpLevel, const float*, int, float*, int, float*, int, VpiSize, float)> call;
};

std::vector<Entry> entries() {
    return {
        {"Add_IR", true, false, [](VpLevel l, const float* a, int as, float* b, int bs, float*, int, VpiSize s, float) {
             return LEVEL_VARIANTS(vpiAdd_32f_C1IR)[l](a, as, b, bs, s);
         }},
        {"Sub_IR", true, false, [](VpLevel l, const float* a, int as, float* b, int bs, float*, int, VpiSize s, float) {
             return LEVEL_VARIANTS(vpiSub_32f_C1IR)[l](a, as, b, bs, s);
         }},
        {"Mul_IR", true, false, [](VpLevel l, const float* a, int as, float* b, int bs, float*, int, VpiSize s, float) {
             return LEVEL_VARIANTS(vpiMul_32f_C1IR)[l](a, as, b, bs, s);
         }},
        {"AddC_IR", true, false, [](VpLevel l, const float*, int, float* b, int bs, float*, int, VpiSize s, float v) {
             return LEVEL_VARIANTS(vpiAddC_32f_C1IR)[l](v, b, bs, s);
         }},
        {"SubC_IR", true, false, [](VpLevel l, const float*, int, float* b, int bs, float*, int, VpiSize s, float v) {
             return LEVEL_VARIANTS(vpiSubC_32f_C1IR)[l](v, b, bs, s);
         }},
        {"MulC_IR", true, false, [](VpLevel l, const float*, int, float* b, int bs, float*, int, VpiSize s, float v) {
             return LEVEL_VARIANTS(vpiMulC_32f_C1IR)[l](v, b, bs, s);
         }},
        {"SubC_R", false, false, [](VpLevel l, const float* a, int as, float*, int, float* d, int ds, VpiSize s, float v) {
             return LEVEL_VARIANTS(vpiSubC_32f_C1R)[l](a, as, v, d, ds, s);
         }},
        {"MulC_R", false, false, [](VpLevel l, const float* a, int as, float*, int, float* d, int ds, VpiSize s, float v) {
             return LEVEL_VARIANTS(vpiMulC_32f_C1R)[l](a, as, v, d, ds, s);
         }},
        {"Sub_R", false, false, [](VpLevel l, const float* a, int as, float* b, int bs, float* d, int ds, VpiSize s, float) {
             return LEVEL_VARIANTS(vpiSub_32f_C1R)[l](a, as, b, bs, d, ds, s);
         }},
        {"Abs_R", false, true, [](VpLevel l, const float* a, int as, float*, int, float* d, int ds, VpiSize s, float) {
             return LEVEL_VARIANTS(vpiAbs_32f_C1R)[l](a, as, d, ds, s);
         }},
        {"Sqr_R", false, true, [](VpLevel l, const float* a, int as, float*, int, float* d, int ds, VpiSize s, float) {
             return LEVEL_VARIANTS(vpiSqr_32f_C1R)[l](a, as, d, ds, s);
         }},
        {"Sqr_IR", true, true, [](VpLevel l, const float*, int, float* b, int bs, float*, int, VpiSize s, float) {
             return LEVEL_VARIANTS(vpiSqr_32f_C1IR)[l](b, bs, s);
         }},
    };
}

TEST(ArithLevels, EveryEntryWidthAndOffsetAsPx) {
    std::uint32_t rng = 21;
    for (const Entry& e : entries())
        for (VpLevel level : kSimdLevels)
            for (const Shape& s : tableShapes()) {
                const int h = 2;
                const VpiSize size{s.width, h};
                const float value = operand(rng);
                // Entries that round their steps down get whole-float steps
                // here (their off-grid steps are checked apart).
                const int grid = e.wholeFloatSteps ? ~3 : ~0;
                const Shape t{s.width, s.srcOffset & grid, s.dstOffset & grid};
                // Each of a, b, d at its own offset; the px run on copies of the same inputs.
                OffsetRows<float> a(s.width, h, t.srcOffset, 8, true), b(s.width, h, (t.srcOffset + t.dstOffset) % 16, 8, true),
                    d(s.width, h, t.dstOffset, 8, true);
                a.fill([&](int, int) { return operand(rng); });
                b.fill([&](int, int) { return operand(rng); });
                OffsetRows<float> pb(s.width, h, 0), pd(s.width, h, 0);
                pb.fill([&](int x, int y) { return b.get(x, y); });
                ASSERT_EQ(e.call(vpLevelPx, a.data(), a.step(), pb.data(), pb.step(), pd.data(), pd.step(), size, value),
                          vpStsNoErr);
                ASSERT_EQ(e.call(level, a.data(), a.step(), b.data(), b.step(), d.data(), d.step(), size, value),
                          vpStsNoErr);
                OffsetRows<float>& got = e.writesB ? b : d;
                OffsetRows<float>& want = e.writesB ? pb : pd;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < s.width; ++x)
                        ASSERT_TRUE(agrees(got.get(x, y), want.get(x, y)))
                            << e.name << " " << describe(level, s) << " at " << x << "," << y << ": " << got.get(x, y)
                            << " vs px " << want.get(x, y) << " (a " << a.get(x, y) << ", value " << value << ")";
                ASSERT_TRUE(got.canariesIntact()) << e.name << " " << describe(level, s);
            }
}

// The checks in order: pointers, then the size, then the steps.
TEST(ArithLevels, ArgumentChecksInOrder) {
    float a[4] = {}, b[4] = {}, d[4] = {};
    for (const Entry& e : entries())
        for (VpLevel level : kSimdLevels) {
            EXPECT_EQ(e.call(level, nullptr, 0, nullptr, 0, nullptr, 0, {0, 1}, 1.0f), vpStsNullPtrErr) << e.name;
            EXPECT_EQ(e.call(level, a, 0, b, 0, d, 0, {0, 1}, 1.0f), vpStsSizeErr) << e.name;
            EXPECT_EQ(e.call(level, a, 4, b, 4, d, 4, {1, 0}, 1.0f), vpStsSizeErr) << e.name;
            EXPECT_EQ(e.call(level, a, 0, b, 0, d, 0, {1, 1}, 1.0f), vpStsStepErr) << e.name;
        }
}

// The absolute value clears the sign bit at the SIMD levels: -0 and -Inf
// become +0 and +Inf, a signalling NaN stays signalling (px quiets it).
TEST(ArithLevels, AbsoluteValueAndSquareSpecials) {
    const float in[5] = {-0.0f, -kInf, floatOf(0xFF800001u), -2.5f, floatOf(0x80000001u)};
    for (VpLevel level : kSimdLevels) {
        float out[5];
        ASSERT_EQ(LEVEL_VARIANTS(vpsAbs_32f)[level](in, out, 5), vpStsNoErr);
        EXPECT_EQ(bitsOf(out[0]), 0u);
        EXPECT_EQ(out[1], kInf);
        EXPECT_EQ(bitsOf(out[2]), 0x7F800001u) << levelName(level);
        EXPECT_EQ(out[3], 2.5f);
        EXPECT_EQ(bitsOf(out[4]), 1u);
        float sq[5];
        ASSERT_EQ(LEVEL_VARIANTS(vpsSqr_32f)[level](in, sq, 5), vpStsNoErr);
        EXPECT_EQ(sq[1], kInf);
        EXPECT_EQ(sq[3], 6.25f);
        EXPECT_EQ(LEVEL_VARIANTS(vpsSqr_32f_I)[level](nullptr, 1), vpStsNullPtrErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpsAbs_32f)[level](in, out, 0), vpStsSizeErr);
    }
}

// Steps that are not whole floats: the absolute value and the squares take
// them rounded down, the other entries exactly.
TEST(ArithLevels, StepsOffTheFloatGrid) {
    for (VpLevel level : kSimdLevels) {
        std::vector<float> src(64), dst(64, -1.0f), pdst(64, -1.0f);
        for (int i = 0; i < 64; ++i) src[i] = -float(i);
        ASSERT_EQ(LEVEL_VARIANTS(vpiAbs_32f_C1R)[level](src.data(), 42, dst.data(), 42, {5, 3}), vpStsNoErr);
        ASSERT_EQ(vpiAbs_32f_C1R_px(src.data(), 42, pdst.data(), 42, {5, 3}), vpStsNoErr);
        EXPECT_EQ(dst, pdst) << levelName(level);
        EXPECT_EQ(dst[10], 10.0f);  // row 1 starts 40 bytes on
    }
}

}  // namespace
