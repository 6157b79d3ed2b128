// Normal-equation builders: Jacobians and write-back of all nineteen types,
// the pixel-counting rules, the used-pixel threshold and the offset.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "registration/registration_core.h"
#include "tests/registration/test_support.h"

namespace {

using regtest::Plane16;
using regtest::PlaneF;

constexpr int kKey = 250;

bool runBuilder(int type, LevelImage& gx, LevelImage& gy, LevelImage& r, LevelImage& mask,
                int c0, int r0, int c1, int r1, LevelImage& w, RegistrationModel& m) {
    m.type = type;
    m.parameterCount = modelParameterCount(type);
    return buildNormalEquations(gx, gy, r, m, mask, kKey, c0, r0, c1, r1, w);
}

// True coefficients of each type, obeying its ties (c0..c11).
struct TypeCase {
    int type;
    double c[12];
};
const TypeCase kCases[] = {
    {1, {0.4}},
    {2, {0, -0.3}},
    {3, {0.4, -0.3}},
    {4, {0.4, 0, 0.01, 0, 0, 0.01}},
    {5, {0.4, -0.3, 0.01, 0, 0, 0.01}},
    {6, {0.4, -0.3, 0, 0.02, -0.02, 0}},
    {7, {0, -0.3, 0.01, 0.02, -0.015, 0.005}},
    {8, {0.4, 0, 0.01, 0.02, -0.015, 0.005}},
    {9, {0.4, -0.3, 0.01, 0.02, -0.015, -0.01}},
    {10, {0.4, -0.3, 0.01, 0.02, 0.02, 0.005}},
    {11, {0.4, -0.3, 0.01, 0.02, -0.015, 0.01}},
    {12, {0.4, -0.3, 0.01, 0.02, -0.02, 0.005}},
    {13, {0.4, -0.3, 0.01, 0.02, -0.02, 0.01}},
    {14, {0.4, -0.3, 0.01, 0.02, -0.015, 0.005}},
    {15, {0.4, 0, 0.01, 0, 0, 0.01, 2e-4, -1e-4, 0, 0, 2e-4, -1e-4}},
    {16, {0.4, -0.3, 0, 0, 0, 0, 2e-4, -1e-4, 0, 0, 2e-4, -1e-4}},
    {17, {0.4, -0.3, 0.01, 0, 0, 0.01, 2e-4, -1e-4, 0, 0, 2e-4, -1e-4}},
    {18, {0.4, -0.3, 0.01, 0.02, -0.015, 0.005, 2e-4, -1e-4, 0, 0, 2e-4, -1e-4}},
    {19, {0.4, -0.3, 0.01, 0.02, -0.015, 0.005, 2e-4, -1e-4, 5e-5, -3e-4, 1e-4, 2e-5}},
};

// The residual that the increment c explains exactly in the linearisation:
// r = -(gx*dX + gy*dY) - offset.
TEST(NormalEquations, EveryTypeRecoversItsIncrement) {
    const int R = 40, C = 44;
    const double centreRow = 18.0, centreColumn = 21.0;
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> g(-20.0, 20.0);
    for (const TypeCase& tc : kCases) {
        for (uint8_t withOffset : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "type " << tc.type << " offset " << int(withOffset));
            PlaneF gx(R, C), gy(R, C), r(R, C), w(R, C, 1.0f);
            Plane16 mask(R, C, kKey);
            const double offset = withOffset ? 3.5 : 0.0;
            for (int y = 0; y < R; ++y)
                for (int x = 0; x < C; ++x) {
                    const float gxv = tc.type == 2 ? 0.0f : float(g(rng));
                    const float gyv = tc.type == 1 ? 0.0f : float(g(rng));
                    gx.at(y, x) = gxv;
                    gy.at(y, x) = gyv;
                    const double u = x - centreColumn, v = y - centreRow;
                    const double* c = tc.c;
                    const double dX = c[0] + c[2] * u + c[3] * v + c[6] * u * u + c[7] * u * v +
                                      c[8] * v * v;
                    const double dY = c[1] + c[4] * u + c[5] * v + c[9] * u * u +
                                      c[10] * u * v + c[11] * v * v;
                    r.at(y, x) = float(-(gxv * dX + gyv * dY) - offset);
                }
            RegistrationModel m;
            m.centreRow = centreRow;
            m.centreColumn = centreColumn;
            m.offsetEstimated = withOffset;
            m.usedPixelCount = -5;
            ASSERT_TRUE(runBuilder(tc.type, gx, gy, r, mask, 0, 0, C, R, w, m));
            for (int k = 0; k < 12; ++k)
                EXPECT_NEAR(m.c[k], tc.c[k], 2e-3 * std::fabs(tc.c[k]) + 1e-6) << "c" << k;
            EXPECT_NEAR(m.offset, offset, 0.02);
            EXPECT_EQ(m.usedFraction, 1.0);
            // Only types 1 to 14 report the used pixel count.
            EXPECT_EQ(m.usedPixelCount, tc.type <= 14 ? R * C : -5);
            // Tied coefficients receive one value.
            const int t = tc.type;
            if (t == 6 || t == 12 || t == 13) {
                EXPECT_EQ(m.c[3], -m.c[4]);
            }
            if (t == 9) {
                EXPECT_EQ(m.c[2], -m.c[5]);
            }
            if (t == 10) {
                EXPECT_EQ(m.c[3], m.c[4]);
            }
            if (t == 4 || t == 5 || t == 11 || t == 13 || t == 15 || t == 17) {
                EXPECT_EQ(m.c[2], m.c[5]);
            }
            if (tc.type >= 15 && tc.type <= 18) {
                EXPECT_EQ(m.c[6], m.c[10]);
                EXPECT_EQ(m.c[7], m.c[11]);
            }
        }
    }
}

TEST(NormalEquations, CountingRules) {
    const int R = 6, C = 6;
    PlaneF gx(R, C, 1.0f), gy(R, C, -2.0f), r(R, C, 0.5f), w(R, C, 1.0f);
    Plane16 mask(R, C, kKey);
    // A pixel with both gradients and the residual zero is neither counted
    // nor used, whatever its weight.
    gx.at(0, 0) = gy.at(0, 0) = r.at(0, 0) = 0.0f;
    // A weight of exactly 0.01 is counted but not used.
    w.at(1, 1) = 0.01f;
    w.at(1, 2) = 0.0100001f;
    // Not the key: ignored.
    mask.at(2, 2) = 249;
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x) gx.at(y, x) += 0.1f * float(x * y % 5);  // not collinear
    RegistrationModel m;
    ASSERT_TRUE(runBuilder(3, gx, gy, r, mask, 0, 0, C, R, w, m));
    EXPECT_EQ(m.usedPixelCount, 36 - 3);
    EXPECT_DOUBLE_EQ(m.usedFraction, 33.0 / 34.0);
}

TEST(NormalEquations, UsedPixelsMustExceedTwiceTheUnknowns) {
    const int R = 4, C = 8;
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> g(-5.0f, 5.0f);
    PlaneF gx(R, C), gy(R, C), r(R, C), w(R, C, 1.0f);
    for (auto& v : gx.samples) v = g(rng);
    for (auto& v : gy.samples) v = g(rng);
    for (auto& v : r.samples) v = g(rng);
    for (int used : {4, 5}) {  // type 3: n = 2
        Plane16 mask(R, C, 0);
        for (int i = 0; i < used; ++i) mask.samples[size_t(i) * 3] = kKey;
        RegistrationModel m;
        EXPECT_EQ(runBuilder(3, gx, gy, r, mask, 0, 0, C, R, w, m), used == 5);
        EXPECT_EQ(m.usedPixelCount, used);
    }
    // With the offset n = 3: 6 used pixels are too few.
    Plane16 mask(R, C, 0);
    for (int i = 0; i < 6; ++i) mask.samples[size_t(i) * 5] = kKey;
    RegistrationModel m;
    m.offsetEstimated = 1;
    EXPECT_FALSE(runBuilder(3, gx, gy, r, mask, 0, 0, C, R, w, m));
}

TEST(NormalEquations, NothingCountedGivesNaNFraction) {
    PlaneF gx(5, 5, 1.0f), gy(5, 5, 1.0f), r(5, 5, 1.0f), w(5, 5, 1.0f);
    Plane16 mask(5, 5, kKey), noKey(5, 5, 7);
    RegistrationModel m;
    EXPECT_FALSE(runBuilder(14, gx, gy, r, mask, 3, 3, 3, 5, w, m));  // empty rectangle
    EXPECT_TRUE(std::isnan(m.usedFraction));
    EXPECT_FALSE(runBuilder(14, gx, gy, r, noKey, 0, 0, 5, 5, w, m));
    EXPECT_TRUE(std::isnan(m.usedFraction));
    for (double c : m.c) EXPECT_EQ(c, 0.0);
    // A type outside 1..19 builds nothing.
    EXPECT_FALSE(runBuilder(20, gx, gy, r, mask, 0, 0, 5, 5, w, m));
}

TEST(NormalEquations, ConstantResidualIsExplainedByTheDampedOffset) {
    // Zero gradients, r0 = 2 over N = 20 pixels of weight 1: the offset is
    // -r0*N/(N + 5) and every other unknown stays 0.
    PlaneF gx(4, 5, 0.0f), gy(4, 5, 0.0f), r(4, 5, 2.0f), w(4, 5, 1.0f);
    Plane16 mask(4, 5, kKey);
    RegistrationModel m;
    m.offsetEstimated = 1;
    ASSERT_TRUE(runBuilder(14, gx, gy, r, mask, 0, 0, 5, 4, w, m));
    EXPECT_DOUBLE_EQ(m.offset, -2.0 * 20 / 25);
    for (double c : m.c) EXPECT_EQ(c, 0.0);
}

TEST(NormalEquations, VarianceAndCovarianceOnRequest) {
    const int R = 20, C = 20;
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> g(-10.0f, 10.0f);
    PlaneF gx(R, C), gy(R, C), r(R, C), w(R, C, 1.0f);
    Plane16 mask(R, C, kKey);
    for (auto& v : gx.samples) v = g(rng);
    for (auto& v : gy.samples) v = g(rng);
    for (auto& v : r.samples) v = g(rng);
    RegistrationModel m;
    m.computeVariance = 1;
    m.computeCovariance = 1;
    initCovariance(m);
    ASSERT_TRUE(runBuilder(3, gx, gy, r, mask, 0, 0, C, R, w, m));
    // Variance of the residual left by the solution, per used pixel.
    double sse = 0.0;
    for (int i = 0; i < R * C; ++i) {
        const double e = r.samples[i] + gx.samples[i] * m.c[0] + gy.samples[i] * m.c[1];
        sse += e * e;
    }
    EXPECT_NEAR(m.residualVariance, sse / (R * C), 0.05 * sse / (R * C));
    EXPECT_GT(m.covariance[0][0], 0.0);
    EXPECT_LT(m.covariance[0][0], 1.0);
    EXPECT_EQ(m.covariance[0][1], m.covariance[1][0]);
    EXPECT_EQ(m.covariance[5][5], 1000000.0);  // not a parameter of type 3
}

}  // namespace
