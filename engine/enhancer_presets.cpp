#include "engine/enhancer_presets.h"

#include <algorithm>

namespace {

struct NoisePreset {
    int chromaMode;
    int lumaMode;
    float thresholdFactors[4];
    float boosts[4];
    float gainFloors[4];
    float gainCeilings[4];
};

// none: no pre-filter; low: log-Gabor on luma; med and high add a 5 x 5 and
// a 7 x 7 median on chroma. The luma arrays of none are never read.
const NoisePreset kNoisePresets[4] = {
    {10, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {11, 3, {1.5f, 0.8f, 0.4f, 0.2f}, {2.5f, 1.2f, 1.0f, 1.0f}, {0.2f, 0.2f, 0.2f, 0.2f}, {2.0f, 1.1f, 1.0f, 1.0f}},
    {12, 3, {3.0f, 1.5f, 0.8f, 0.3f}, {2.5f, 1.2f, 1.0f, 1.0f}, {0.1f, 0.1f, 0.1f, 0.1f}, {2.0f, 1.1f, 1.0f, 1.0f}},
    {13, 3, {4.5f, 2.4f, 1.2f, 0.6f}, {2.5f, 1.2f, 1.0f, 1.0f}, {0.1f, 0.1f, 0.1f, 0.1f}, {2.0f, 1.1f, 1.0f, 1.0f}},
};

const float kMotionThresholds[4] = {0.0f, 1.0f, 3.0f, 6.0f};
const float kMotionSlopes[4] = {0.2f, 0.1f, 1.0f / 30.0f, 0.01f};

int clampChoice(int choice)
{
    return std::clamp(choice, 0, 3);
}

}  // namespace

void applyNoiseReduction(FrameEnhancer& engine, int choice)
{
    const NoisePreset& p = kNoisePresets[clampChoice(choice)];
    engine.chromaNoiseMode = p.chromaMode;
    engine.lumaNoiseMode = p.lumaMode;
    if (p.lumaMode == 0)
        return;
    std::copy(p.thresholdFactors, p.thresholdFactors + 4, engine.lumaThresholdFactors);
    std::copy(p.boosts, p.boosts + 4, engine.lumaBoosts);
    std::copy(p.gainFloors, p.gainFloors + 4, engine.lumaGainFloors);
    std::copy(p.gainCeilings, p.gainCeilings + 4, engine.lumaGainCeilings);
}

void applyMotionSmooth(FrameEnhancer& engine, int choice)
{
    const int c = clampChoice(choice);
    engine.motionThreshold = kMotionThresholds[c];
    engine.motionSlope = kMotionSlopes[c];
}
