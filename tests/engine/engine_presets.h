// The capture driver's settings of the engine for each noise-reduction and
// motion-smooth choice (none, low, med, high), and a helper that runs the
// engine over a synthetic sequence.
#pragma once

#include <memory>

#include "engine/frame_enhancer.h"
#include "tests/engine/synthetic.h"

namespace presets {

inline void setNoiseReduction(FrameEnhancer& e, int mode)
{
    static const float factors[4][4] = {{1, 1, 1, 1}, {1.5f, 0.8f, 0.4f, 0.2f}, {3.0f, 1.5f, 0.8f, 0.3f},
                                        {4.5f, 2.4f, 1.2f, 0.6f}};
    static const float floors[4] = {0.1f, 0.2f, 0.1f, 0.1f};
    static const float boosts[4] = {2.5f, 1.2f, 1.0f, 1.0f};
    static const float ceilings[4] = {2.0f, 1.1f, 1.0f, 1.0f};
    e.chromaNoiseMode = 10 + mode;
    e.lumaNoiseMode = mode == 0 ? 0 : 3;
    if (mode == 0)
        return;
    for (int s = 0; s < 4; ++s) {
        e.lumaThresholdFactors[s] = factors[mode][s];
        e.lumaBoosts[s] = boosts[s];
        e.lumaGainFloors[s] = floors[mode];
        e.lumaGainCeilings[s] = ceilings[s];
    }
}

inline void setMotionSmooth(FrameEnhancer& e, int mode)
{
    static const float thresholds[4] = {0.0f, 1.0f, 3.0f, 6.0f};
    static const float slopes[4] = {0.2f, 0.1f, 1.0f / 30.0f, 0.01f};
    e.motionThreshold = thresholds[mode];
    e.motionSlope = slopes[mode];
}

struct RunOptions {
    int frames = 9;
    double scale = 2.0;
    int noiseReduction = 0;
    int motionSmooth = 2;
    int interlaced = 0;
};

// Builds an engine, stores the frames, and runs it the way the capture
// driver does (single-frame path for one frame).
template <typename FrameSource>
std::unique_ptr<FrameEnhancer> run(const synthetic::SequenceSpec& spec, const RunOptions& o, FrameSource frameAt)
{
    auto e = std::make_unique<FrameEnhancer>(spec.width, spec.height, o.frames, o.interlaced, o.scale);
    e->singleFrame = o.frames == 1 ? 1 : 0;
    for (int i = 0; i < o.frames; ++i) {
        Image8uC3 f;
        frameAt(i, &f);
        e->frameStore->setFrame(i, &f);
    }
    setNoiseReduction(*e, o.noiseReduction);
    setMotionSmooth(*e, o.motionSmooth);
    e->estimateNoise(o.frames / 2);
    e->run();
    return e;
}

// A run of the standard moving sequence of `o.frames` frames. Frames are
// numbered from the reference, so runs of any length share the reference
// frame and its noise.
inline std::unique_ptr<FrameEnhancer> runMoving(const synthetic::SequenceSpec& spec, const RunOptions& o)
{
    return run(spec, o, [&](int i, Image8uC3* f) {
        const uint32_t k = static_cast<uint32_t>(i - o.frames / 2 + 4);
        synthetic::renderFrame(spec, synthetic::runMotion(i, o.frames), spec.seed * 1000 + k, f);
    });
}

}  // namespace presets
