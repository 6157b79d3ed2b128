#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/log_gabor.h"

namespace {

// The bank is costly to build: one for the whole program.
class LogGaborTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bank_ = new LogGaborBank(); }
    static void TearDownTestSuite()
    {
        delete bank_;
        bank_ = nullptr;
    }
    void SetUp() override
    {
        bank().resetStatistics();
        bank().firstScale = 0;
        for (int s = 0; s < 4; ++s) {
            bank().thresholdFactors[s] = 1.0f;
            bank().boosts[s] = 1.2f;
            bank().gainFloors[s] = 0.2f;
            bank().gainCeilings[s] = 1.0f;
        }
        for (int o = 0; o < 8; ++o)
            bank().orientationWeights[o] = 1.0f;
    }
    static LogGaborBank& bank() { return *bank_; }
    static LogGaborBank* bank_;
};
LogGaborBank* LogGaborTest::bank_ = nullptr;

void texturedPlane(Image8u* p, int w, int h, double noise, unsigned seed, Image8u* clean = nullptr)
{
    p->reallocate(w, h);
    if (clean != nullptr)
        clean->reallocate(w, h);
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, noise > 0 ? noise : 1.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double v = 128 + 50 * std::sin(0.11 * x + 0.05 * y) + 30 * std::sin(0.23 * x - 0.41 * y) +
                             20 * std::sin(0.61 * x + 0.17 * y);
            if (clean != nullptr)
                clean->row(y)[x] = static_cast<Vp8u>(std::lround(v));
            const double g = v + (noise > 0 ? n(rng) : 0.0);
            p->row(y)[x] = static_cast<Vp8u>(g < 0 ? 0 : (g > 255 ? 255 : std::lround(g)));
        }
}

TEST_F(LogGaborTest, FiltersCoverTheMidFrequencies)
{
    // Sum over the 32 filters, each averaged with its mirror through the
    // origin, by distance from the origin.
    double minAt[3] = {1e9, 1e9, 1e9};
    double maxAt[3] = {-1e9, -1e9, -1e9};
    for (int u = 0; u < 128; ++u)
        for (int v = 0; v < 128; ++v) {
            const int fy = u < 64 ? u : u - 128;
            const int fx = v < 64 ? v : v - 128;
            const double r = std::sqrt(double(fx * fx + fy * fy));
            const int band = (r >= 8 && r <= 63) ? 0 : (std::fabs(r - 4) < 1e-9 ? 1 : (std::fabs(r - 2) < 1e-9 ? 2 : -1));
            if (band < 0)
                continue;
            const int mu = (128 - u) % 128;
            const int mv = (128 - v) % 128;
            double sum = 0;
            for (int s = 0; s < 4; ++s)
                for (int o = 0; o < 8; ++o)
                    sum += 0.5 * (bank().filter(s, o)->row(u)[v] + bank().filter(s, o)->row(mu)[mv]);
            minAt[band] = std::min(minAt[band], sum);
            maxAt[band] = std::max(maxAt[band], sum);
        }
    EXPECT_GE(minAt[0], 0.964);
    EXPECT_LE(maxAt[0], 1.0005);
    EXPECT_GE(minAt[1], 0.72);
    EXPECT_LE(maxAt[1], 0.79);
    EXPECT_GE(minAt[2], 0.22);
    EXPECT_LE(maxAt[2], 0.46);
    for (int s = 0; s < 4; ++s)
        for (int o = 0; o < 8; ++o)
            EXPECT_EQ(bank().filter(s, o)->row(0)[0], 0.0f);
}

// The filters of a bank, every bit, filter after filter.
std::vector<float> filterBits(const LogGaborBank& b)
{
    std::vector<float> v;
    for (int s = 0; s < 4; ++s)
        for (int o = 0; o < 8; ++o)
            for (int u = 0; u < 128; ++u)
                v.insert(v.end(), b.filter(s, o)->row(u), b.filter(s, o)->row(u) + 128);
    return v;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST_F(LogGaborTest, LaterBanksGetTheSameFiltersAndOtherParametersTheirOwn)
{
    const std::vector<float> first = filterBits(bank());
    {
        LogGaborBank second;
        EXPECT_TRUE(sameBits(filterBits(second), first));
        // Another parameter gives other filters, not the kept ones: half the
        // gain halves every value exactly (where the half is no subnormal,
        // which rounds differently).
        second.filterGain = bank().filterGain / 2;
        second.buildFilters();
        const std::vector<float> halved = filterBits(second);
        ASSERT_EQ(halved.size(), first.size());
        for (std::size_t i = 0; i < first.size(); ++i) {
            if (first[i] >= 4 * std::numeric_limits<float>::min()) {
                ASSERT_EQ(halved[i], first[i] / 2) << i;
            }
        }
        second.filterGain = bank().filterGain;
        second.wavelengthStep = 3.0;
        second.buildFilters();
        EXPECT_FALSE(sameBits(filterBits(second), first));
    }
    // Back to the defaults after other parameters were built.
    LogGaborBank third;
    EXPECT_TRUE(sameBits(filterBits(third), first));
}

TEST_F(LogGaborTest, NoiseLevelsFromHistograms)
{
    EXPECT_EQ(bank().finishNoiseEstimate(), 0);
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(bank().noiseLevels[s], 0.0f);

    // Every scale holds 100 counts. Scale 0: the bound is 50; bins 3 and 7
    // share the largest count below it: the higher one wins. Scale 1: bound
    // 75, reached at bin 40 of a run 20..40 whose largest count is bin 40.
    bank().tilesCounted = 1;
    bank().histograms[0][3] = 30;
    bank().histograms[0][7] = 30;
    bank().histograms[0][9] = 40;
    for (int b = 20; b < 40; ++b)
        bank().histograms[1][b] = 3;
    bank().histograms[1][40] = 40;
    bank().histograms[2][255] = 100;
    bank().histograms[3][0] = 90;
    bank().histograms[3][200] = 10;
    EXPECT_EQ(bank().finishNoiseEstimate(), 1);
    EXPECT_FLOAT_EQ(bank().noiseLevels[0], 7.0f / 32.0f);
    EXPECT_FLOAT_EQ(bank().noiseLevels[1], 40.0f / 32.0f);
    EXPECT_FLOAT_EQ(bank().noiseLevels[2], 255.0f / 32.0f);
    EXPECT_FLOAT_EQ(bank().noiseLevels[3], 0.0f);
}

TEST_F(LogGaborTest, EstimateCountsSampledTilesOfEveryPlane)
{
    Image8u plane;
    texturedPlane(&plane, 128, 128, 4.0, 1);
    bank().estimateNoise(&plane);
    EXPECT_EQ(bank().tilesCounted, 1);
    uint64_t total = 0;
    for (int b = 0; b < 256; ++b)
        total += bank().histograms[2][b];
    EXPECT_EQ(total, 8u * 128 * 128);
    // A narrow plane spans one tile of its own width; counts follow.
    Image8u narrow;
    texturedPlane(&narrow, 60, 130, 4.0, 2);
    bank().estimateNoise(&narrow);
    EXPECT_EQ(bank().tilesCounted, 2);
    total = 0;
    for (int b = 0; b < 256; ++b)
        total += bank().histograms[0][b];
    EXPECT_EQ(total, 8u * 128 * 128 + 8u * 60 * 128);
    EXPECT_EQ(bank().finishNoiseEstimate(), 1);
    EXPECT_GT(bank().noiseLevels[0], 0.0f);
}

// Beyond four tiles in a direction every second tile is sampled: a 720 x 288
// field gives tile columns 0, 2, 4 and tile rows 0, 1.
TEST_F(LogGaborTest, EstimateSamplesEverySecondTileBeyondFour)
{
    Image8u field;
    texturedPlane(&field, 720, 288, 3.0, 4);
    bank().estimateNoise(&field);
    EXPECT_EQ(bank().tilesCounted, 6);
    uint64_t total = 0;
    for (int b = 0; b < 256; ++b)
        total += bank().histograms[3][b];
    EXPECT_EQ(total, 6u * 8 * 128 * 128);
}

TEST_F(LogGaborTest, DroppingEveryScaleLeavesTheLowPass)
{
    Image8u plane;
    texturedPlane(&plane, 136, 70, 0.0, 1);
    bank().firstScale = 4;
    bank().apply(&plane);
    ASSERT_EQ(bank().result.width, 136);
    ASSERT_EQ(bank().result.height, 70);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 136; ++x)
            ASSERT_EQ(bank().result.row(y)[x], bank().lowPass.row(y + 16)[x + 16]) << x << "," << y;
}

TEST_F(LogGaborTest, LowPassKeepsSlowShadingAndDropsFineDetail)
{
    // The test above compares the result with the bank's own low pass; here
    // the low pass is checked against the plane: with every scale dropped, a
    // slow ramp comes back and fine stripes go.
    Image8u plane(136, 70);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 136; ++x)
            plane.row(y)[x] = static_cast<Vp8u>(std::lround(100 + 0.4 * x + 0.2 * y + 40 * std::sin(0.61 * x + 0.17 * y) +
                                                            30 * std::sin(0.23 * x - 0.41 * y)));
    bank().firstScale = 4;
    bank().apply(&plane);
    ASSERT_EQ(bank().result.width, 136);
    ASSERT_EQ(bank().result.height, 70);
    double worst = 0;
    for (int y = 8; y < 62; ++y)
        for (int x = 8; x < 128; ++x)
            worst = std::max(worst, std::fabs(bank().result.row(y)[x] - (100 + 0.4 * x + 0.2 * y)));
    EXPECT_LT(worst, 10.0) << "worst " << worst;
}

TEST_F(LogGaborTest, UnitGainsRebuildThePlane)
{
    // Frequencies the low pass keeps whole, and ones that the filters cover
    // to within 4 %: nothing of the middle range where both fall short.
    Image8u plane(150, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 150; ++x)
            plane.row(y)[x] = static_cast<Vp8u>(std::lround(128 + 40 * std::sin(0.5 * x + 0.3 * y) +
                                                            30 * std::sin(-0.7 * x + 0.9 * y) +
                                                            40 * std::sin(0.015 * x + 0.01 * y)));
    const float none[4] = {0, 0, 0, 0};
    bank().setNoiseLevels(none);
    for (int s = 0; s < 4; ++s) {
        bank().thresholdFactors[s] = 0.0f;
        bank().boosts[s] = 1.0f;
        bank().gainFloors[s] = 1.0f;
        bank().gainCeilings[s] = 1.0f;
    }
    bank().apply(&plane);
    double se = 0, worst = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 150; ++x) {
            const double d = bank().result.row(y)[x] - plane.row(y)[x];
            se += d * d;
            worst = std::max(worst, std::fabs(d));
        }
    EXPECT_LT(std::sqrt(se / (150 * 100)), 1.5);
    // No seams between the tiles' cores.
    EXPECT_LT(worst, 5.0);
}

TEST_F(LogGaborTest, BlackPlaneWithZeroThresholdStaysFinite)
{
    Image8u black(100, 90);
    std::memset(black.data, 0, static_cast<std::size_t>(black.step) * 90);
    bank().estimateNoise(&black);
    bank().finishNoiseEstimate();
    EXPECT_EQ(bank().noiseLevels[0], 0.0f);
    bank().apply(&black);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(bank().result.row(y)[x], 0.0f) << x << "," << y;
}

TEST_F(LogGaborTest, DenoisingBringsANoisyPlaneCloserToTheClean)
{
    Image8u noisy, clean;
    texturedPlane(&noisy, 160, 140, 6.0, 9, &clean);
    bank().estimateNoise(&noisy);
    ASSERT_EQ(bank().finishNoiseEstimate(), 1);
    // The settings of a medium noise reduction.
    const float factors[4] = {3.0f, 1.5f, 0.8f, 0.3f};
    const float boosts[4] = {2.5f, 1.2f, 1.0f, 1.0f};
    const float ceilings[4] = {2.0f, 1.1f, 1.0f, 1.0f};
    for (int s = 0; s < 4; ++s) {
        bank().thresholdFactors[s] = factors[s];
        bank().boosts[s] = boosts[s];
        bank().gainFloors[s] = 0.1f;
        bank().gainCeilings[s] = ceilings[s];
    }
    bank().apply(&noisy);
    double before = 0, after = 0;
    for (int y = 8; y < 132; ++y)
        for (int x = 8; x < 152; ++x) {
            const double c = clean.row(y)[x];
            before += (noisy.row(y)[x] - c) * (noisy.row(y)[x] - c);
            after += (bank().result.row(y)[x] - c) * (bank().result.row(y)[x] - c);
        }
    EXPECT_LT(after, 0.7 * before) << "rms before " << std::sqrt(before / (124 * 144)) << " after "
                                   << std::sqrt(after / (124 * 144));
}

TEST_F(LogGaborTest, RegionOfATileKeepsTheWholeTilesSumsThere)
{
    // The denoiser forms a tile's band sums over its core only: there they
    // must be the whole tile's bits, and the rest of the sum stays 0.
    Image8u noisy;
    texturedPlane(&noisy, 140, 130, 5.0, 3);
    bank().estimateNoise(&noisy);
    ASSERT_EQ(bank().finishNoiseEstimate(), 1);
    bank().firstScale = 1;
    struct Region {
        int x0, y0, width, height;
    };
    const Region regions[] = {{30, 30, 68, 68}, {30, 30, 4, 68}, {30, 30, 68, 1}, {0, 0, 128, 128}, {97, 5, 31, 9}};
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> value(-60.0f, 60.0f);
    for (const Region& r : regions) {
        Image64f input;
        input.allocate(128, 128);
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                input.row(y)[x] = Vp32fc{value(rng), 0.0f};
        std::memcpy(bank().tileSpatial.data, input.data, static_cast<std::size_t>(input.step) * 128);
        bank().filterTile();
        Image32f whole;
        whole.allocate(128, 128);
        for (int y = 0; y < 128; ++y)
            std::memcpy(whole.row(y), bank().tileSum.row(y), 128 * sizeof(float));
        std::memcpy(bank().tileSpatial.data, input.data, static_cast<std::size_t>(input.step) * 128);
        bank().filterTileRegion(r.x0, r.y0, r.width, r.height);
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                const bool inside = x >= r.x0 && x < r.x0 + r.width && y >= r.y0 && y < r.y0 + r.height;
                const float want = inside ? whole.row(y)[x] : 0.0f;
                ASSERT_EQ(std::memcmp(&bank().tileSum.row(y)[x], &want, 4), 0)
                    << "region " << r.x0 << "," << r.y0 << " " << r.width << "x" << r.height << " at " << x << ","
                    << y;
            }
    }
}

}  // namespace
