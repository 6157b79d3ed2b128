// The coarse-to-fine driver and its helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "registration/registration_core.h"
#include "tests/registration/synthetic_image.h"
#include "tests/registration/test_support.h"

namespace {

using regtest::Plane16;
using regtest::PlaneF;

constexpr int kKey = 250;

TEST(DriverHelpers, SelectRankAndMedianAbsoluteDeviation) {
    std::vector<double> v = {5, 1, 4, 2, 3};
    EXPECT_EQ(selectRank(v.data(), 5, 2), 2.0);
    v = {5, 1, 4, 2, 3};
    EXPECT_EQ(selectRank(v.data(), 5, 5), 5.0);
    // Fewer than two values, or no rank: guarded.
    double one = 7.0;
    EXPECT_EQ(selectRank(&one, 1, 1), 7.0);
    EXPECT_EQ(selectRank(&one, 1, 0), 0.0);
    EXPECT_EQ(selectRank(nullptr, 0, 0), 0.0);
    v = {1, 2, 3, 4, 100};
    EXPECT_DOUBLE_EQ(medianAbsoluteDeviation(v.data(), 5), 1.48);
    EXPECT_EQ(medianAbsoluteDeviation(&one, 1), 0.0);
}

TEST(DriverHelpers, InterpolateScale) {
    EXPECT_EQ(interpolateScale(40.0, 8.0, 4.0, 0.0), 8.0);
    EXPECT_DOUBLE_EQ(interpolateScale(40.0, 8.0, 4.0, 3.0), 40.0);
    const double e = (4.0 * 8.0 - 40.0) / 3.0;
    EXPECT_DOUBLE_EQ(interpolateScale(40.0, 8.0, 4.0, 1.0), e + (40.0 - e) / 3.0);
    // Zero denominators.
    EXPECT_EQ(interpolateScale(40.0, 8.0, 1.0, 1.0), 8.0);
    EXPECT_EQ(interpolateScale(40.0, 8.0, 3.0, 3.0), 40.0);
}

TEST(DriverHelpers, KeyCountsStartLevelAndRanges) {
    LevelImage chain[kMaxPyramidLevels];
    int n = 2;
    ASSERT_TRUE(allocateLevels16(chain, 32, 32, n));
    for (int y = 8; y < 24; ++y)
        for (int x = 4; x < 28; ++x) chain[0].s16()[y * 32 + x] = kKey;
    for (int k = 0; k < 2; ++k) subsampleLevel(chain[k], chain[k + 1]);
    const int32_t rect[4] = {4, 8, 28, 24};
    EXPECT_EQ(countKeyPixels(chain[0], 0, 0, 32, 32, kKey), 16 * 24);
    EXPECT_EQ(countKeyPixels(chain[0], 0, 0, 32, 32, kKey + 65536), 16 * 24);  // low 16 bits
    int count = 0;
    // Level 2: rectangle (2, 3)-(7, 6): 5 x 3 = 15 key samples.
    EXPECT_EQ(findStartLevel(chain, kKey, 3, 15, rect, count), 2);
    EXPECT_EQ(count, 15);
    EXPECT_EQ(findStartLevel(chain, kKey, 3, 16, rect, count), 1);
    EXPECT_EQ(findStartLevel(chain, kKey, 3, 100000, rect, count), -1);
    freeLevels(chain, n + 1);

    Plane16 mask(3, 3, kKey);
    mask.at(1, 1) = 0;
    PlaneF plane(3, 3);
    for (int i = 0; i < 9; ++i) plane.samples[i] = float(i - 5);
    plane.at(1, 1) = -100.0f;  // not a key pixel
    double lo, hi;
    valueRange(plane, 0, 0, 3, 3, mask, kKey, 0, lo, hi);
    EXPECT_EQ(lo, -5.0);
    EXPECT_EQ(hi, 3.0);
    valueRange(plane, 0, 0, 3, 3, mask, kKey, 1, lo, hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 5.0);
    valueRange(plane, 0, 0, 3, 3, mask, kKey, 3, lo, hi);
    EXPECT_EQ(hi, 100.0);
    valueRange(plane, 0, 0, 0, 0, mask, kKey, 0, lo, hi);
    EXPECT_EQ(lo, 100000.0);
    EXPECT_EQ(hi, -100000.0);

    PlaneF residual(2, 4);
    residual.samples = {1, 3, 1, 3, 1, 3, 1, 3};
    Plane16 all(2, 4, kKey);
    const int32_t whole[4] = {0, 0, 4, 2};
    EXPECT_DOUBLE_EQ(robustResidualScale(all, kKey, whole, residual, 0), 1.0);
    EXPECT_DOUBLE_EQ(robustResidualScale(all, kKey, whole, residual, 1), 1.48 * 0.0);
    EXPECT_EQ(robustResidualScale(all, kKey, whole, residual, 5), 0.0);
}

// Pyramids of a textured frame pair built in the test.
struct PyramidPair {
    ImagePyramid current, reference;
    LevelImage wgx[kMaxPyramidLevels], wgy[kMaxPyramidLevels], res[kMaxPyramidLevels];
    LevelImage weights[kMaxPyramidLevels], mask[kMaxPyramidLevels];
    int top = 0;
    int rows, columns;

    PyramidPair(int rowsIn, int columnsIn, int levels, const regtest::Affine& motion,
                int keyRows = -1, int keyColumns = -1)
        : rows(rowsIn), columns(columnsIn) {
        regtest::Texture texture(21);
        std::vector<uint8_t> cur, ref;
        regtest::makePair(texture, rows, columns, motion, 0.0, cur, ref);
        EXPECT_EQ(current.allocate(rows, columns, levels), 0);
        EXPECT_EQ(reference.allocate(rows, columns, levels), 0);
        EXPECT_EQ(current.build(cur.data()), 0);
        EXPECT_EQ(reference.build(ref.data()), 0);
        top = current.levelCount() - 1;
        for (LevelImage* chain : {wgx, wgy, res, weights}) {
            int n = top;
            EXPECT_TRUE(allocateLevels32f(chain, rows, columns, n));
        }
        int n = top;
        EXPECT_TRUE(allocateLevels16(mask, rows, columns, n));
        const int kr = keyRows < 0 ? rows : keyRows;
        const int kc = keyColumns < 0 ? columns : keyColumns;
        for (int y = 0; y < kr; ++y)
            for (int x = 0; x < kc; ++x) mask[0].s16()[y * columns + x] = kKey;
    }
    ~PyramidPair() {
        for (LevelImage* chain : {wgx, wgy, res, weights, mask}) freeLevels(chain, top + 1);
    }
    PyramidRegistrationParams params(const int32_t* rect) {
        PyramidRegistrationParams p;
        p.key = kKey;
        p.rectangle = rect;
        p.topLevel = top;
        p.currentSmoothed = current.smoothed;
        p.referenceSmoothed = reference.smoothed;
        p.currentGx = current.gradientX;
        p.currentGy = current.gradientY;
        p.referenceGx = reference.gradientX;
        p.referenceGy = reference.gradientY;
        p.weights = weights;
        p.wgx = wgx;
        p.wgy = wgy;
        p.res = res;
        p.mask = mask;
        return p;
    }
};

RegistrationModel modelOfType(int type) {
    RegistrationModel m;
    m.type = type;
    m.parameterCount = modelParameterCount(type);
    return m;
}

TEST(RegisterPyramid, TooFewKeyPixelsLeavesTheModel) {
    regtest::Affine none;
    PyramidPair pair(64, 80, 3, none, 5, 5);  // 25 key pixels < 30
    const int32_t rect[4] = {0, 0, 5, 5};
    RegistrationModel m = modelOfType(14);
    m.c[0] = 1.25;
    double finalScale = 8.0;
    int bounds[3];
    EXPECT_FALSE(registerPyramid(pair.params(rect), m, finalScale, bounds));
    EXPECT_EQ(m.c[0], 1.25);
}

TEST(RegisterPyramid, IdenticalFramesGiveTheIdentity) {
    regtest::Affine none;
    PyramidPair pair(96, 128, 4, none);
    const int32_t rect[4] = {0, 0, 128, 96};
    RegistrationModel m = modelOfType(14);
    double finalScale = 8.0;
    int bounds[3];
    ASSERT_TRUE(registerPyramid(pair.params(rect), m, finalScale, bounds));
    for (int k = 0; k < 12; ++k) EXPECT_EQ(m.c[k], 0.0) << k;
    EXPECT_EQ(bounds[0], 6);
    EXPECT_EQ(bounds[1], 2);
    EXPECT_EQ(bounds[2], 1);
}

TEST(RegisterPyramid, WholePixelTranslationForSeveralTypes) {
    // R(x, y) = C(x - 3, y + 2): c0 = 3, c1 = -2.
    regtest::Affine shift;
    shift.c[0] = 3.0;
    shift.c[1] = -2.0;
    PyramidPair pair(96, 128, 4, shift);
    const int32_t rect[4] = {0, 0, 128, 96};
    for (int type : {3, 14, 16, 19}) {
        SCOPED_TRACE(type);
        RegistrationModel m = modelOfType(type);
        double finalScale = 8.0;
        int bounds[3];
        ASSERT_TRUE(registerPyramid(pair.params(rect), m, finalScale, bounds));
        EXPECT_NEAR(m.c[0], 3.0, 0.05);
        EXPECT_NEAR(m.c[1], -2.0, 0.05);
        for (int k = 2; k < 6; ++k) EXPECT_NEAR(m.c[k], 0.0, 2e-3);
        for (int k = 6; k < 12; ++k) EXPECT_NEAR(m.c[k], 0.0, 1e-4);
        if (type == 3) {
            for (int k = 2; k < 12; ++k) EXPECT_EQ(m.c[k], 0.0);
        }
    }
}

TEST(RegisterPyramid, TiedTypeKeepsItsTies) {
    // Type 4: column shift and isotropic scale only; c1 stays exactly 0.
    const regtest::Affine motion = regtest::Affine::rotationScale(0.0, 1.01, 64.0, 0.0, 1.5, 0.0);
    PyramidPair pair(96, 128, 4, motion);
    const int32_t rect[4] = {0, 0, 128, 96};
    RegistrationModel m = modelOfType(4);
    double finalScale = 8.0;
    int bounds[3];
    ASSERT_TRUE(registerPyramid(pair.params(rect), m, finalScale, bounds));
    EXPECT_EQ(m.c[1], 0.0);
    EXPECT_EQ(m.c[3], 0.0);
    EXPECT_EQ(m.c[4], 0.0);
    EXPECT_EQ(m.c[2], m.c[5]);
    EXPECT_NEAR(m.c[2], 0.01, 1e-3);
    EXPECT_NEAR(m.c[0], motion.c[0], 0.1);
}

TEST(RegisterPyramid, StartModesFromTheCallersModel) {
    // Modes 1 to 8 start from (or next to) the caller's model; +10 keeps the
    // final type from the start.
    regtest::Affine shift;
    shift.c[0] = 3.0;
    shift.c[1] = -2.0;
    PyramidPair pair(96, 128, 4, shift);
    const int32_t rect[4] = {0, 0, 128, 96};
    for (int mode : {1, 2, 3, 4, 5, 6, 7, 8, 10, 13, 107}) {
        SCOPED_TRACE(mode);
        RegistrationModel m = modelOfType(14);
        m.c[0] = 2.5;
        m.c[1] = -1.5;
        m.usedFraction = 0.9;
        double finalScale = 8.0;
        int bounds[3];
        PyramidRegistrationParams p = pair.params(rect);
        p.mode = mode;
        ASSERT_TRUE(registerPyramid(p, m, finalScale, bounds));
        EXPECT_NEAR(m.c[0], 3.0, 0.05);
        EXPECT_NEAR(m.c[1], -2.0, 0.05);
        for (int k = 2; k < 6; ++k) EXPECT_NEAR(m.c[k], 0.0, 2e-3);
    }
}

TEST(RegisterPyramid, OneLevelPyramidAndBadBounds) {
    regtest::Affine shift;
    shift.c[0] = 0.75;
    shift.c[1] = 0.5;
    PyramidPair pair(60, 70, 1, shift);
    const int32_t rect[4] = {0, 0, 70, 60};
    RegistrationModel m = modelOfType(14);
    double finalScale = 8.0;
    int bounds[3];
    PyramidRegistrationParams p = pair.params(rect);
    ASSERT_EQ(p.topLevel, 0);
    ASSERT_TRUE(registerPyramid(p, m, finalScale, bounds));
    EXPECT_NEAR(m.c[0], 0.75, 0.05);
    EXPECT_NEAR(m.c[1], 0.5, 0.05);

    p.boundsGiven = 2;
    RegistrationModel untouched = modelOfType(14);
    EXPECT_FALSE(registerPyramid(p, untouched, finalScale, bounds));
}

}  // namespace
