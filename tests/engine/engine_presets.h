// A helper that runs the engine over a synthetic sequence with the capture
// driver's settings for a noise-reduction and a motion-smooth choice.
#pragma once

#include <memory>

#include "engine/enhancer_presets.h"
#include "engine/frame_enhancer.h"
#include "tests/engine/synthetic.h"

namespace presets {

struct RunOptions {
    int frames = 9;
    double scale = 2.0;
    int noiseReduction = 0;
    int motionSmooth = 2;
    int interlaced = 0;
    int reference = -1;  // slot of the reference frame; -1: the middle one
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
    applyNoiseReduction(*e, o.noiseReduction);
    applyMotionSmooth(*e, o.motionSmooth);
    e->estimateNoise(o.reference >= 0 ? o.reference : o.frames / 2);
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
