// The capture's noise-reduction and motion-smooth choices as engine settings.
#include <gtest/gtest.h>

#include <array>

#include "engine/enhancer_presets.h"

namespace {

using Four = std::array<float, 4>;

Four fieldOf(const float (&values)[4])
{
    return {values[0], values[1], values[2], values[3]};
}

struct NoiseCase {
    const char* name;
    int chroma, luma;
    Four threshold, boost, floor, ceiling;
};

TEST(EnhancerPresets, NoiseReductionChoices)
{
    const Four unset{1.0f, 1.0f, 1.0f, 1.0f};
    const NoiseCase cases[] = {
        {"none", 10, 0, unset, unset, {0.1f, 0.1f, 0.1f, 0.1f}, unset},
        {"low", 11, 3, {1.5f, 0.8f, 0.4f, 0.2f}, {2.5f, 1.2f, 1.0f, 1.0f}, {0.2f, 0.2f, 0.2f, 0.2f},
         {2.0f, 1.1f, 1.0f, 1.0f}},
        {"med", 12, 3, {3.0f, 1.5f, 0.8f, 0.3f}, {2.5f, 1.2f, 1.0f, 1.0f}, {0.1f, 0.1f, 0.1f, 0.1f},
         {2.0f, 1.1f, 1.0f, 1.0f}},
        {"high", 13, 3, {4.5f, 2.4f, 1.2f, 0.6f}, {2.5f, 1.2f, 1.0f, 1.0f}, {0.1f, 0.1f, 0.1f, 0.1f},
         {2.0f, 1.1f, 1.0f, 1.0f}},
    };
    for (int choice = 0; choice < 4; ++choice) {
        const NoiseCase& c = cases[choice];
        // "none" leaves the luma arrays as the engine was built with them.
        FrameEnhancer e(16, 16, 3, 0, 1.0);
        applyNoiseReduction(e, choice);
        EXPECT_EQ(e.chromaNoiseMode, c.chroma) << c.name;
        EXPECT_EQ(e.lumaNoiseMode, c.luma) << c.name;
        EXPECT_EQ(fieldOf(e.lumaThresholdFactors), c.threshold) << c.name;
        EXPECT_EQ(fieldOf(e.lumaBoosts), c.boost) << c.name;
        EXPECT_EQ(fieldOf(e.lumaGainFloors), c.floor) << c.name;
        EXPECT_EQ(fieldOf(e.lumaGainCeilings), c.ceiling) << c.name;
    }
}

TEST(EnhancerPresets, MotionSmoothChoices)
{
    const struct {
        float threshold, slope;
    } cases[] = {{0.0f, 0.2f}, {1.0f, 0.1f}, {3.0f, 0.033333335f}, {6.0f, 0.01f}};
    for (int choice = 0; choice < 4; ++choice) {
        FrameEnhancer e(16, 16, 3, 0, 1.0);
        applyMotionSmooth(e, choice);
        EXPECT_EQ(e.motionThreshold, cases[choice].threshold) << choice;
        EXPECT_EQ(e.motionSlope, cases[choice].slope) << choice;
    }
}

}  // namespace
