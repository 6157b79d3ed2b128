#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "engine/post_filter.h"

namespace {

void fillPlane(Image32f* p, int w, int h, float (*f)(int, int))
{
    p->reallocate(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p->row(y)[x] = f(x, y);
}

float edge(int x, int) { return 50.0f + 150.0f / (1.0f + std::exp(-(x - 16.0f) / 1.5f)); }

TEST(PlanePostFilter, ConstructionClampsTheMinimumRange)
{
    PlanePostFilter a(2, 0.0f, 1.0, 1.0);
    EXPECT_FLOAT_EQ(a.minimumRange, 0.0001f);
    PlanePostFilter b(2, -5.0f, 1.0, 1.0);
    EXPECT_FLOAT_EQ(b.minimumRange, 0.0001f);
    PlanePostFilter c(4, 2.0f, 1.5, 1.0);
    EXPECT_FLOAT_EQ(c.minimumRange, 2.0f);
    EXPECT_EQ(c.amount, 0.0f);
    EXPECT_EQ(c.width, 0);
    EXPECT_EQ(PlanePostFilter::baseKernel(0), PlanePostFilter::baseKernel(2));
    EXPECT_EQ(PlanePostFilter::baseKernel(5), PlanePostFilter::baseKernel(2));
    EXPECT_FLOAT_EQ(PlanePostFilter::baseKernel(4)[3], 0.2239f);
    EXPECT_FLOAT_EQ(PlanePostFilter::baseKernel(1)[0], 0.0044f);
}

TEST(PlanePostFilter, RenderBeforePrepareIsEmpty)
{
    PlanePostFilter f(2, 1.0f, 1.0, 1.0);
    Image32f out;
    out.allocate(4, 4);
    EXPECT_EQ(f.render(&out), 1);
    EXPECT_EQ(out.width, 0);
    EXPECT_EQ(out.height, 0);
}

TEST(PlanePostFilter, SizesFollowTheFactors)
{
    Image32f src;
    fillPlane(&src, 100, 20, edge);
    struct Case {
        double sx, sy;
        int w, h;
    };
    const Case cases[] = {{1.00005, 1.0, 100, 20}, {1.067, 1.0, 106, 20}, {1.0, 1.0 / 0.9, 100, 22}};
    for (const Case& c : cases) {
        PlanePostFilter f(2, 1.0f, c.sx, c.sy);
        Image32f out;
        f.prepare(&src, &out);
        EXPECT_EQ(f.width, c.w);
        EXPECT_EQ(f.height, c.h);
        EXPECT_EQ(out.width, c.w);
        EXPECT_EQ(out.height, c.h);
    }
}

TEST(PlanePostFilter, ZeroAmountGivesThePlaneBack)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(0.0f, 255.0f);
    Image32f src;
    src.allocate(33, 21);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 33; ++x)
            src.row(y)[x] = d(rng);
    PlanePostFilter f(3, 1.0f, 1.0, 1.0);
    Image32f out;
    f.prepare(&src, &out);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 33; ++x)
            ASSERT_NEAR(out.row(y)[x], src.row(y)[x], 1e-3f) << x << "," << y;
}

TEST(PlanePostFilter, FlatsAndExtremesKeepTheirValues)
{
    Image32f src;
    src.allocate(24, 20);
    setImageValue(80.0f, &src);
    src.row(10)[12] = 200.0f;  // a local maximum
    src.row(5)[5] = 10.0f;     // a local minimum
    for (float amount : {0.0f, 3.0f, 13.0f}) {
        PlanePostFilter f(2, 1.0f, 1.0, 1.0);
        f.amount = amount;
        Image32f out;
        f.prepare(&src, &out);
        EXPECT_EQ(f.detailWeight.row(10)[12], 0.0f);
        EXPECT_EQ(f.detailWeight.row(5)[5], 0.0f);
        EXPECT_NEAR(out.row(10)[12], 200.0f, 1e-3f);
        EXPECT_NEAR(out.row(5)[5], 10.0f, 1e-3f);
        // Far from both features the plane is flat.
        EXPECT_EQ(f.detailWeight.row(16)[20], 0.0f);
        EXPECT_NEAR(out.row(16)[20], 80.0f, 1e-3f);
    }
}

TEST(PlanePostFilter, SlopesAreSteepened)
{
    Image32f src;
    fillPlane(&src, 32, 12, edge);
    PlanePostFilter f(2, 1.0f, 1.0, 1.0);
    f.amount = 3.0f;
    Image32f out;
    f.prepare(&src, &out);
    for (int y = 0; y < 12; ++y)
        for (int x = 1; x < 31; ++x) {
            const float w = f.detailWeight.row(y)[x];
            ASSERT_GE(w, 0.0f);
            ASSERT_LE(w, 1.0f);
        }
    // Lower shoulder goes down, upper shoulder goes up, the middle stays.
    EXPECT_LT(out.row(6)[13], src.row(6)[13] - 0.5f);
    EXPECT_GT(out.row(6)[19], src.row(6)[19] + 0.5f);
    EXPECT_NEAR(out.row(6)[16], src.row(6)[16], 0.5f);
    EXPECT_GT(f.detailWeight.row(6)[14], 0.1f);
}

// The scratch plane may hold anything; the border ring is still defined.
TEST(PlanePostFilter, BorderRingIsDefined)
{
    Image32f src;
    fillPlane(&src, 40, 30, edge);
    for (double sx : {1.0, 1.5}) {
        PlanePostFilter f(2, 1.0f, sx, 1.0);
        f.amount = 4.5f;
        Image32f out;
        const int w = static_cast<int>(std::floor(40 * sx));
        out.allocate(w, 30);
        setImageValue(std::numeric_limits<float>::quiet_NaN(), &out);
        f.prepare(&src, &out);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                ASSERT_TRUE(std::isfinite(out.row(y)[x])) << x << "," << y;
        f.amount = 0.0f;
        f.render(&out);
        EXPECT_NEAR(out.row(0)[0], 50.0f, 2.0f);
    }
}

TEST(PlanePostFilter, TinyPlanesPassThrough)
{
    Image32f src;
    fillPlane(&src, 5, 3, edge);
    PlanePostFilter f(2, 1.0f, 1.0, 1.0);
    f.amount = 3.0f;
    Image32f out;
    f.prepare(&src, &out);
    ASSERT_EQ(out.width, 5);
    EXPECT_EQ(out.row(2)[4], src.row(2)[4]);
    Image32f empty;
    f.prepare(&empty, &out);
    EXPECT_EQ(out.width, 0);
}

}  // namespace
