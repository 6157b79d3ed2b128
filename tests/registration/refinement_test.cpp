// One-level refinement: warp and residual, robust weights, the reweighted
// least-squares loop.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "registration/registration_core.h"
#include "tests/registration/test_support.h"

namespace {

using regtest::Plane16;
using regtest::PlaneF;

constexpr int kKey = 250;

RegistrationModel translation(double c0, double c1) {
    RegistrationModel m;
    m.type = 3;
    m.parameterCount = 2;
    m.c[0] = c0;
    m.c[1] = c1;
    return m;
}

struct Level {
    int R, C;
    Plane16 mask, current, reference;
    PlaneF gx, gy, wgx, wgy, res, weights;
    Level(int rows, int columns)
        : R(rows), C(columns), mask(rows, columns, kKey), current(rows, columns),
          reference(rows, columns), gx(rows, columns), gy(rows, columns),
          wgx(rows, columns, -9.0f), wgy(rows, columns, -9.0f), res(rows, columns, -9.0f),
          weights(rows, columns, -9.0f) {}
    int warp(const RegistrationModel& m, int c0, int r0, int c1, int r1) {
        return warpAndResidual(mask, kKey, current, reference, gx, gy, c0, r0, c1, r1, m, wgx,
                               wgy, res);
    }
};

TEST(WarpAndResidual, BoundaryOfTheReference) {
    // Reference ramp 10*x; current 0; one key pixel per case.
    const struct {
        int x;
        double c0;
        bool inside;
    } cases[] = {{0, -0.5, false},  {7, 0.0, false}, {7, -0.0001, true},
                 {0, 0.25, true},   {6, 0.5, true},  {3, 1e5, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " " << c.c0);
        Level L(6, 8);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                L.reference.at(y, x) = int16_t(10 * x);
                L.gx.at(y, x) = 10.0f;
                L.mask.at(y, x) = 0;
            }
        L.mask.at(2, c.x) = kKey;
        const int count = L.warp(translation(c.c0, 0.0), 0, 0, 8, 6);
        if (std::fabs(c.c0) > 10000.0) {
            EXPECT_EQ(count, -1);  // out of range
            continue;
        }
        EXPECT_EQ(count, c.inside ? 1 : 0);
        const double xp = c.x + c.c0;
        EXPECT_NEAR(L.res.at(2, c.x), c.inside ? 10.0 * xp : 0.0, 1e-3);
        EXPECT_EQ(L.wgx.at(2, c.x), c.inside ? 10.0f : 0.0f);
        EXPECT_EQ(L.res.at(0, 0), 0.0f);  // non-key pixel in the rectangle
    }
}

TEST(WarpAndResidual, IdentityOnIdenticalLevelsAndTheRectangle) {
    Level L(9, 11);
    std::mt19937 rng(4);
    for (int i = 0; i < 9 * 11; ++i) {
        L.current.samples[i] = L.reference.samples[i] = int16_t(rng() % 200);
        L.gx.samples[i] = float(rng() % 7);
    }
    RegistrationModel id;
    id.type = 14;
    id.parameterCount = 6;
    id.offsetEstimated = 1;
    id.offset = 2.0;  // added to the reference
    const int count = L.warp(id, 2, 1, 11, 9);
    EXPECT_EQ(count, (10 - 2) * (8 - 1));  // last row and column are outside
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 11; ++x) {
            const bool inRect = x >= 2 && y >= 1;
            if (!inRect) {
                EXPECT_EQ(L.res.at(y, x), -9.0f);  // untouched
            } else if (x < 10 && y < 8) {
                EXPECT_EQ(L.res.at(y, x), 2.0f);
                EXPECT_EQ(L.wgx.at(y, x), L.gx.at(y, x));
            } else {
                EXPECT_EQ(L.res.at(y, x), 0.0f);
            }
        }
}

TEST(RobustWeights, InitialWeights) {
    Level L(5, 6);
    L.mask.at(2, 2) = 1;
    const double s = 10.0;
    // Residual 0 -> 1, 1.1*s (and beyond) -> 0, half of it -> (1 - 1/4)^2.
    L.res.at(1, 1) = 0.0f;
    L.res.at(1, 2) = 11.0f;
    L.res.at(1, 3) = -5.5f;
    L.res.at(1, 4) = 30.0f;
    initRobustWeights(L.mask, kKey, true, 0, s, 1, 1, 5, 4, L.res, L.weights);
    EXPECT_EQ(L.weights.at(0, 0), 0.0f);  // the whole plane is cleared first
    EXPECT_EQ(L.weights.at(4, 5), 0.0f);
    EXPECT_EQ(L.weights.at(2, 2), 0.0f);  // not the key
    EXPECT_FLOAT_EQ(L.weights.at(1, 1), 1.0f);
    EXPECT_NEAR(L.weights.at(1, 2), 0.0f, 1e-6);
    EXPECT_NEAR(L.weights.at(1, 3), 0.5625f, 1e-6);
    EXPECT_EQ(L.weights.at(1, 4), 0.0f);

    initRobustWeights(L.mask, kKey, false, 0, s, 1, 1, 5, 4, L.res, L.weights);
    EXPECT_EQ(L.weights.at(1, 4), 1.0f);
    EXPECT_EQ(L.weights.at(0, 1), 0.0f);
}

TEST(RobustWeights, UpdateUsesThePredictedResidualAndEachFunction) {
    // r' = res + wgx*dX + wgy*dY + dO with a translation increment.
    const double s = 4.0;
    const struct {
        int function;
        double factor;
    } functions[] = {{0, 1.1}, {1, 0.6211111111111111}, {2, 0.5299999999999999},
                     {3, 0.6633333333333332}};
    for (const auto& f : functions) {
        SCOPED_TRACE(f.function);
        Level L(3, 3);
        for (auto& v : L.res.samples) v = 1.0f;
        for (auto& v : L.wgx.samples) v = 2.0f;
        for (auto& v : L.wgy.samples) v = 0.0f;
        RegistrationModel d = translation(0.25, 7.0);  // dY has no gradient
        initRobustWeights(L.mask, kKey, false, 0, s, 0, 0, 3, 3, L.res, L.weights);
        updateRobustWeights(L.wgx, L.wgy, L.res, d, d.type, 0.0, 0.0, L.mask, kKey, 0, 0, 3, 3,
                            L.weights, f.function, s);
        const double u = 1.5 / (f.factor * s);
        const double u2 = u * u;
        double expected = 0.0;
        if (f.function == 0) expected = u2 <= 1.0 ? (1 - u2) * (1 - u2) : 0.0;
        if (f.function == 1) expected = u2 <= 1.0 ? 1.0 : 0.0;
        if (f.function == 2) expected = 1.0 / (1.0 + u2);
        if (f.function == 3) expected = std::exp(-u2);
        EXPECT_NEAR(L.weights.at(1, 1), expected, 1e-6);
    }
}

// A textured level and its copy shifted by a known subpixel translation.
void shiftedPair(Level& L, double shiftX, double shiftY) {
    auto f = [](double x, double y) {
        return 800.0 + 300.0 * std::sin(0.31 * x + 0.2 * y) + 200.0 * std::cos(0.17 * x - 0.37 * y);
    };
    auto dfx = [](double x, double y) {
        return 300.0 * 0.31 * std::cos(0.31 * x + 0.2 * y) - 200.0 * 0.17 * std::sin(0.17 * x - 0.37 * y);
    };
    auto dfy = [](double x, double y) {
        return 300.0 * 0.2 * std::cos(0.31 * x + 0.2 * y) + 200.0 * 0.37 * std::sin(0.17 * x - 0.37 * y);
    };
    for (int y = 0; y < L.R; ++y)
        for (int x = 0; x < L.C; ++x) {
            L.current.at(y, x) = int16_t(std::lround(f(x, y)));
            // reference(x + shift) = current(x)
            L.reference.at(y, x) = int16_t(std::lround(f(x - shiftX, y - shiftY)));
            L.gx.at(y, x) = float(dfx(x - shiftX, y - shiftY));
            L.gy.at(y, x) = float(dfy(x - shiftX, y - shiftY));
        }
}

TEST(RefineAtLevel, IdenticalLevelsGiveZeroInOneStep) {
    Level L(30, 40);
    shiftedPair(L, 0.0, 0.0);
    ASSERT_EQ(L.warp(translation(0, 0), 1, 1, 40, 30), 38 * 28);
    RegistrationModel d = translation(0, 0);
    d.type = 14;
    d.parameterCount = 6;
    ASSERT_TRUE(refineAtLevel(L.mask, kKey, 1, 1, 40, 30, d, true, L.weights, 8, 0, 10.0, L.wgx,
                              L.wgy, L.res));
    for (double c : d.c) EXPECT_EQ(c, 0.0);
    EXPECT_EQ(L.weights.at(0, 0), 0.0f);  // outside the rectangle
    EXPECT_FALSE(refineAtLevel(L.mask, kKey, 1, 1, 40, 30, d, true, L.weights, 0, 0, 10.0, L.wgx,
                               L.wgy, L.res));
}

TEST(RefineAtLevel, SubpixelTranslationWithAnOutlierPatch) {
    Level L(40, 50);
    shiftedPair(L, 0.3, -0.2);
    for (int y = 10; y < 14; ++y)
        for (int x = 10; x < 14; ++x) L.current.at(y, x) = 0;  // gross outliers
    ASSERT_GT(L.warp(translation(0, 0), 1, 1, 50, 40), 0);
    RegistrationModel d = translation(0, 0);
    ASSERT_TRUE(refineAtLevel(L.mask, kKey, 1, 1, 50, 40, d, true, L.weights, 8, 0, 40.0, L.wgx,
                              L.wgy, L.res));
    EXPECT_NEAR(d.c[0], 0.3, 0.05);
    EXPECT_NEAR(d.c[1], -0.2, 0.05);
    // The outliers got weight 0 (residual beyond 1.1*s) and are not used.
    EXPECT_EQ(L.weights.at(11, 11), 0.0f);
    EXPECT_EQ(L.weights.at(0, 0), 0.0f);
    RegistrationModel count = translation(0, 0);
    ASSERT_TRUE(buildNormalEquations(L.wgx, L.wgy, L.res, count, L.mask, kKey, 1, 1, 50, 40,
                                     L.weights));
    EXPECT_LE(count.usedPixelCount, 49 * 39 - 16);
}

}  // namespace
