#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "guarded_image.h"
#include "primitives/primitives.h"

namespace {

using Image = GuardedImage<float>;
constexpr int kKeepStep = -12345;

// Random values with a sprinkling of infinities, NaN, signed zeros and subnormals.
float randomValue(std::mt19937& rng) {
    static const float specials[] = {0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                                     1e-40f, -3e38f, 3e38f};
    std::uniform_int_distribution<int> pick(0, 19);
    const int k = pick(rng);
    if (k < 8) return specials[k];
    return std::uniform_real_distribution<float>(-1000.0f, 1000.0f)(rng);
}

bool sameFloat(float a, float b) { return (std::isnan(a) && std::isnan(b)) || bitsOf(a) == bitsOf(b); }

// One two-operand entry in a common shape: out = f(a, b) per pixel, where a is
// the first image argument and b the second (or the constant).
struct BinaryCase {
    std::string name;
    // Runs the entry on (a, b) writing `out`; `a`/`b` may be the same as `out` for in-place forms.
    std::function<VpStatus(Image& a, Image& b, Image& out, float value)> run;
    std::function<float(float a, float b, float value)> expected;
    bool inPlaceOnB;  // the entry writes into its second image
    bool inPlaceOnA;  // the entry writes into its only image
};

std::vector<BinaryCase> binaryCases() {
    return {
        {"Add_C1IR", [](Image& a, Image& b, Image&, float) { return vpiAdd_32f_C1IR(a.data(), a.step(), b.data(), b.step(), a.size()); },
         [](float a, float b, float) { return b + a; }, true, false},
        {"Sub_C1IR", [](Image& a, Image& b, Image&, float) { return vpiSub_32f_C1IR(a.data(), a.step(), b.data(), b.step(), a.size()); },
         [](float a, float b, float) { return b - a; }, true, false},
        {"Mul_C1IR", [](Image& a, Image& b, Image&, float) { return vpiMul_32f_C1IR(a.data(), a.step(), b.data(), b.step(), a.size()); },
         [](float a, float b, float) { return b * a; }, true, false},
        {"Sub_C1R", [](Image& a, Image& b, Image& o, float) { return vpiSub_32f_C1R(a.data(), a.step(), b.data(), b.step(), o.data(), o.step(), a.size()); },
         [](float a, float b, float) { return b - a; }, false, false},
        {"AddC_C1IR", [](Image& a, Image&, Image&, float v) { return vpiAddC_32f_C1IR(v, a.data(), a.step(), a.size()); },
         [](float a, float, float v) { return a + v; }, false, true},
        {"SubC_C1IR", [](Image& a, Image&, Image&, float v) { return vpiSubC_32f_C1IR(v, a.data(), a.step(), a.size()); },
         [](float a, float, float v) { return a - v; }, false, true},
        {"MulC_C1IR", [](Image& a, Image&, Image&, float v) { return vpiMulC_32f_C1IR(v, a.data(), a.step(), a.size()); },
         [](float a, float, float v) { return a * v; }, false, true},
        {"SubC_C1R", [](Image& a, Image&, Image& o, float v) { return vpiSubC_32f_C1R(a.data(), a.step(), v, o.data(), o.step(), a.size()); },
         [](float a, float, float v) { return a - v; }, false, false},
        {"MulC_C1R", [](Image& a, Image&, Image& o, float v) { return vpiMulC_32f_C1R(a.data(), a.step(), v, o.data(), o.step(), a.size()); },
         [](float a, float, float v) { return a * v; }, false, false},
        {"Sqr_C1R", [](Image& a, Image&, Image& o, float) { return vpiSqr_32f_C1R(a.data(), a.step(), o.data(), o.step(), a.size()); },
         [](float a, float, float) { return a * a; }, false, false},
        {"Sqr_C1IR", [](Image& a, Image&, Image&, float) { return vpiSqr_32f_C1IR(a.data(), a.step(), a.size()); },
         [](float a, float, float) { return a * a; }, false, true},
        {"Abs_C1R", [](Image& a, Image&, Image& o, float) { return vpiAbs_32f_C1R(a.data(), a.step(), o.data(), o.step(), a.size()); },
         [](float a, float, float) { return std::fabs(a); }, false, false},
    };
}

TEST(FloatArithmetic, EveryEntryMatchesTheSinglePrecisionOperation) {
    std::mt19937 rng(7);
    for (const BinaryCase& c : binaryCases()) {
        for (int width = 1; width <= 40; width += 3) {
            for (int height : {1, 3}) {
                Image a(width, height, 4 * (width % 3)), b(width, height, 8), out(width, height, 20);
                a.fill([&](int, int) { return randomValue(rng); });
                b.fill([&](int, int) { return randomValue(rng); });
                const float value = randomValue(rng);
                Image a0 = a, b0 = b;
                ASSERT_EQ(c.run(a, b, out, value), vpStsNoErr) << c.name;
                const Image& written = c.inPlaceOnB ? b : (c.inPlaceOnA ? a : out);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        const float want = c.expected(a0.get(x, y), b0.get(x, y), value);
                        ASSERT_TRUE(sameFloat(written.get(x, y), want))
                            << c.name << " width " << width << " at " << x << "," << y << ": " << written.get(x, y)
                            << " want " << want;
                    }
                EXPECT_TRUE(a.guardsIntact() && b.guardsIntact() && out.guardsIntact()) << c.name;
            }
        }
    }
}

TEST(FloatArithmetic, ArgumentChecksInOrderAndNothingWritten) {
    for (const BinaryCase& c : binaryCases()) {
        Image a(4, 2), b(4, 2), out(4, 2);
        a.fill([](int x, int) { return float(x); });
        b.fill([](int x, int) { return float(x + 1); });
        const std::vector<unsigned char> a0 = a.bytes(), b0 = b.bytes(), o0 = out.bytes();
        auto untouched = [&] { return a.bytes() == a0 && b.bytes() == b0 && out.bytes() == o0; };

        // Build calls with one argument spoiled through small wrappers of the entry.
        struct Spoil {
            bool nullFirst = false, nullLast = false;
            VpiSize size{4, 2};
            int step = kKeepStep;
        };
        auto run = [&](Spoil s) -> VpStatus {
            // Reuse the case's call with adjusted images through a lambda per shape.
            const float* pa = s.nullFirst ? nullptr : a.data();
            float* pb = b.data();
            float* po = s.nullLast ? nullptr : out.data();
            float* pa_w = s.nullFirst ? nullptr : a.data();
            const int st = s.step == kKeepStep ? a.step() : s.step;
            const std::string& n = c.name;
            if (n == "Add_C1IR") return vpiAdd_32f_C1IR(pa, st, s.nullLast ? nullptr : pb, b.step(), s.size);
            if (n == "Sub_C1IR") return vpiSub_32f_C1IR(pa, st, s.nullLast ? nullptr : pb, b.step(), s.size);
            if (n == "Mul_C1IR") return vpiMul_32f_C1IR(pa, st, s.nullLast ? nullptr : pb, b.step(), s.size);
            if (n == "Sub_C1R") return vpiSub_32f_C1R(pa, st, pb, b.step(), po, out.step(), s.size);
            if (n == "AddC_C1IR") return vpiAddC_32f_C1IR(1.0f, pa_w, st, s.size);
            if (n == "SubC_C1IR") return vpiSubC_32f_C1IR(1.0f, pa_w, st, s.size);
            if (n == "MulC_C1IR") return vpiMulC_32f_C1IR(1.0f, pa_w, st, s.size);
            if (n == "SubC_C1R") return vpiSubC_32f_C1R(pa, st, 1.0f, po, out.step(), s.size);
            if (n == "MulC_C1R") return vpiMulC_32f_C1R(pa, st, 1.0f, po, out.step(), s.size);
            if (n == "Sqr_C1R") return vpiSqr_32f_C1R(pa, st, po, out.step(), s.size);
            if (n == "Sqr_C1IR") return vpiSqr_32f_C1IR(pa_w, st, s.size);
            if (n == "Abs_C1R") return vpiAbs_32f_C1R(pa, st, po, out.step(), s.size);
            ADD_FAILURE() << "unknown case " << n;
            return 0;
        };
        // A null pointer wins over a bad size and a bad step.
        EXPECT_EQ(run({true, false, {0, 2}, -1}), vpStsNullPtrErr) << c.name;
        if (!c.inPlaceOnA) {
            EXPECT_EQ(run({false, true, {4, 0}, -1}), vpStsNullPtrErr) << c.name;
        }
        // A bad size wins over a bad step.
        EXPECT_EQ(run({false, false, {0, 2}, -4}), vpStsSizeErr) << c.name;
        EXPECT_EQ(run({false, false, {4, 0}, -4}), vpStsSizeErr) << c.name;
        EXPECT_EQ(run({false, false, {-1, -1}, 0}), vpStsSizeErr) << c.name;
        // A zero or negative step.
        EXPECT_EQ(run({false, false, {4, 2}, 0}), vpStsStepErr) << c.name;
        EXPECT_EQ(run({false, false, {4, 2}, -8}), vpStsStepErr) << c.name;
        EXPECT_TRUE(untouched()) << c.name;
    }
    // The second or third step of the multi-image entries.
    Image a(4, 2), b(4, 2), out(4, 2);
    EXPECT_EQ(vpiSub_32f_C1R(a.data(), a.step(), b.data(), 0, out.data(), out.step(), a.size()), vpStsStepErr);
    EXPECT_EQ(vpiSub_32f_C1R(a.data(), a.step(), b.data(), b.step(), out.data(), 0, a.size()), vpStsStepErr);
    EXPECT_EQ(vpiSub_32f_C1R(a.data(), a.step(), nullptr, b.step(), out.data(), 0, a.size()), vpStsNullPtrErr);
    EXPECT_EQ(vpiAdd_32f_C1IR(a.data(), a.step(), b.data(), 0, a.size()), vpStsStepErr);
    EXPECT_EQ(vpiMulC_32f_C1R(a.data(), a.step(), 2.0f, out.data(), -1, a.size()), vpStsStepErr);
}

TEST(FloatArithmetic, SubtractionTakesTheSecondImageAsMinuend) {
    const float one = 1.0f, three = 3.0f;
    float out = 0.0f;
    EXPECT_EQ(vpiSub_32f_C1R(&one, 4, &three, 4, &out, 4, {1, 1}), vpStsNoErr);
    EXPECT_EQ(out, 2.0f);
    float srcDst = 3.0f;
    EXPECT_EQ(vpiSub_32f_C1IR(&one, 4, &srcDst, 4, {1, 1}), vpStsNoErr);
    EXPECT_EQ(srcDst, 2.0f);
    float x = 5.0f;
    EXPECT_EQ(vpiSubC_32f_C1IR(2.0f, &x, 4, {1, 1}), vpStsNoErr);
    EXPECT_EQ(x, 3.0f);
}

TEST(FloatArithmetic, OverflowAndInvalidOperations) {
    const float inf = std::numeric_limits<float>::infinity();
    float v[4] = {3e38f, inf, 0.0f, std::nanf("")};
    EXPECT_EQ(vpiAddC_32f_C1IR(3e38f, v, 16, {1, 1}), vpStsNoErr);
    EXPECT_EQ(v[0], inf);
    float w[2] = {inf, 0.0f};
    const float subtrahend[2] = {inf, inf};
    EXPECT_EQ(vpiSub_32f_C1IR(subtrahend, 8, w, 8, {2, 1}), vpStsNoErr);
    EXPECT_TRUE(std::isnan(w[0]));  // Inf - Inf
    EXPECT_EQ(w[1], -inf);
    float z[1] = {0.0f};
    EXPECT_EQ(vpiMulC_32f_C1IR(inf, z, 4, {1, 1}), vpStsNoErr);
    EXPECT_TRUE(std::isnan(z[0]));  // 0 * Inf
    const float nanA[1] = {std::nanf("")};
    float nanB[1] = {std::nanf("")};
    EXPECT_EQ(vpiMul_32f_C1IR(nanA, 4, nanB, 4, {1, 1}), vpStsNoErr);
    EXPECT_TRUE(std::isnan(nanB[0]));
}

TEST(FloatArithmetic, AbsoluteValueOfZerosInfinitiesAndNaN) {
    const struct {
        std::uint32_t in, out;
    } cases[] = {{0x80000000u, 0u},                  // -0 gives +0
                 {0xFF800000u, 0x7F800000u},         // -Inf gives +Inf
                 {0xFF800001u, 0x7FC00001u},         // signalling: quiet, sign cleared, payload kept
                 {0xFFC00123u, 0x7FC00123u},
                 {0x7F800001u, 0x7FC00001u},
                 {0x7FBFFFFFu, 0x7FFFFFFFu},
                 {0x7F7FFFFFu, 0x7F7FFFFFu},         // largest finite stays
                 {0x80000001u, 0x00000001u},         // subnormal
                 {0xC0490FDBu, 0x40490FDBu}};
    constexpr int kCases = sizeof cases / sizeof cases[0];
    // Long rows, so that the cases also pass through the vector loop at every position.
    for (int len : {kCases, 67}) {
        std::vector<float> src(len), dst(len);
        for (int i = 0; i < len; ++i) src[i] = floatOf(cases[i % kCases].in);
        ASSERT_EQ(vpiAbs_32f_C1R(src.data(), 4 * len, dst.data(), 4 * len, {len, 1}), vpStsNoErr);
        for (int i = 0; i < len; ++i) EXPECT_EQ(bitsOf(dst[i]), cases[i % kCases].out) << i;
    }
}

TEST(FloatArithmetic, AbsAndSquaresStepByWholeFloats) {
    // A step of 402 bytes places the rows 400 bytes (100 floats) apart; the
    // other entries use the exact step.
    std::vector<float> src(400, 0.0f), dst(400, -1.0f);
    src[0] = -2.0f;
    src[100] = -3.0f;
    ASSERT_EQ(vpiAbs_32f_C1R(src.data(), 402, dst.data(), 402, {1, 2}), vpStsNoErr);
    EXPECT_EQ(dst[0], 2.0f);
    EXPECT_EQ(dst[100], 3.0f);
    ASSERT_EQ(vpiSqr_32f_C1R(src.data(), 402, dst.data(), 403, {1, 2}), vpStsNoErr);
    EXPECT_EQ(dst[100], 9.0f);
    ASSERT_EQ(vpiSqr_32f_C1IR(src.data(), 401, {1, 2}), vpStsNoErr);
    EXPECT_EQ(src[0], 4.0f);
    EXPECT_EQ(src[100], 9.0f);
}

}  // namespace
