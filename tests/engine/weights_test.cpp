// Confidence weights and pre-filters of the engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/frame_enhancer.h"

namespace {

struct Maps {
    Image32f reference, registered, confidence;
    Maps(int w, int h, float r, float g)
    {
        reference.allocate(w, h);
        registered.allocate(w, h);
        confidence.allocate(w, h);
        setImageValue(r, &reference);
        setImageValue(g, &registered);
        // The caller's plane is fresh: poison it to show nothing stale is read.
        setImageValue(std::numeric_limits<float>::quiet_NaN(), &confidence);
    }
};

class WeightMapTest : public ::testing::Test {
protected:
    FrameEnhancer engine{16, 16, 1, 0, 1.0};
};

TEST_F(WeightMapTest, EqualLumaGivesFullConfidenceEverywhere)
{
    Maps m(30, 24, 120.0f, 120.0f);
    engine.computeWeightMap(&m.reference, &m.registered, &m.confidence);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(m.confidence.row(y)[x], 1.0f) << x << "," << y;
}

TEST_F(WeightMapTest, ConstantDifferences)
{
    struct Case {
        float difference, threshold, slope, expected;
    };
    const Case cases[] = {
        {20.0f, 1.5f, 0.1f, 0.0f},
        {20.0f, 6.0f, 0.01f, 1.0f - 0.01f * (20.0f * 0.9999f * 0.9999f - 6.0f)},
        {5.001f, 0.0f, 0.2f, 0.0f},
        {4.0f, 0.0f, 0.2f, 1.0f - 0.2f * 4.0f * 0.9999f * 0.9999f},
        {-1.0f, 1.5f, 0.1f, 1.0f},
    };
    for (const Case& c : cases) {
        Maps m(30, 24, 100.0f + c.difference, 100.0f);
        engine.motionThreshold = c.threshold;
        engine.motionSlope = c.slope;
        engine.computeWeightMap(&m.reference, &m.registered, &m.confidence);
        EXPECT_NEAR(m.confidence.row(12)[15], c.expected, 2e-4f) << c.difference << " " << c.threshold;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 30; ++x) {
                ASSERT_TRUE(std::isfinite(m.confidence.row(y)[x]));
                ASSERT_GE(m.confidence.row(y)[x], 0.0f);
                ASSERT_LE(m.confidence.row(y)[x], 1.0f);
            }
    }
}

TEST_F(WeightMapTest, OneBadPixelLowersItsNeighbourhood)
{
    Maps m(30, 24, 100.0f, 100.0f);
    m.reference.row(12)[15] = 200.0f;
    engine.computeWeightMap(&m.reference, &m.registered, &m.confidence);
    const float expected = 1.0f - 0.1f * (100.0f * 0.1897f * 0.2707f - 1.5f);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            EXPECT_NEAR(m.confidence.row(12 + dy)[15 + dx], expected, 1e-4f) << dx << "," << dy;
    EXPECT_GT(m.confidence.row(12)[17], expected + 0.05f);
    EXPECT_EQ(m.confidence.row(2)[2], 1.0f);
}

TEST_F(WeightMapTest, MismatchedOrTinyPlanesAreSafe)
{
    Maps m(5, 4, 100.0f, 110.0f);
    engine.computeWeightMap(&m.reference, &m.registered, &m.confidence);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_TRUE(std::isfinite(m.confidence.row(y)[x]));
    Image32f other;
    other.allocate(6, 4);
    engine.computeWeightMap(&m.reference, &other, &m.confidence);  // sizes differ: nothing done
}

std::vector<Vp8u> randomBytes(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<Vp8u> v(static_cast<std::size_t>(n));
    for (auto& b : v)
        b = static_cast<Vp8u>(rng() & 0xFF);
    return v;
}

TEST(Prefilter, ChromaMediansByMode)
{
    const int w = 23, h = 17;
    const std::vector<Vp8u> bytes = randomBytes(w * h, 3);
    Image8u plane(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            plane.row(y)[x] = bytes[static_cast<std::size_t>(y * w + x)];
    FrameEnhancer engine(16, 16, 1, 0, 1.0);
    for (int mode : {10, 11, 12, 13}) {
        engine.chromaNoiseMode = mode;
        Image32f out;
        engine.prefilterPlane(1, &plane, &out);
        ASSERT_EQ(out.width, w);
        ASSERT_EQ(out.height, h);
        const int k = mode == 12 ? 5 : (mode == 13 ? 7 : 1);
        const int a = k / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float expected = plane.row(y)[x];
                if (k > 1 && x >= a && y >= a && x < w - a && y < h - a) {
                    std::vector<int> window;
                    for (int j = -a; j <= a; ++j)
                        for (int i = -a; i <= a; ++i)
                            window.push_back(plane.row(y + j)[x + i]);
                    std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
                    expected = static_cast<float>(window[window.size() / 2]);
                }
                ASSERT_EQ(out.row(y)[x], expected) << "mode " << mode << " at " << x << "," << y;
            }
    }
    // Luma without the bank follows the same table.
    engine.lumaNoiseMode = 0;
    engine.chromaNoiseMode = 10;
    Image32f out;
    engine.prefilterPlane(0, &plane, &out);
    EXPECT_EQ(out.row(8)[8], plane.row(8)[8]);
}

}  // namespace
