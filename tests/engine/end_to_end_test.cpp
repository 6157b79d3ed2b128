// The engine end to end on synthetic sequences made from a textured ground
// truth: decimated, moved by known sub-pixel shifts and small affine motions,
// with mild noise. Every case runs once per processor level of the
// primitives (each subsystem at that level where its column is complete, px
// elsewhere).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tests/engine/engine_presets.h"
#include "tests/primitives/level_harness.h"

namespace {

using presets::RunOptions;
using synthetic::SequenceSpec;

SequenceSpec standardSpec(double noise)
{
    SequenceSpec s;
    s.width = 96;
    s.height = 80;
    s.decimation = 2.0;
    s.noiseSigma = noise;
    s.seed = 7;
    return s;
}

class EndToEnd : public ::testing::TestWithParam<VpLevel> {
protected:
    void SetUp() override { level_ = std::make_unique<level_harness::ScopedLevel>(GetParam()); }
    void TearDown() override { level_.reset(); }

private:
    std::unique_ptr<level_harness::ScopedLevel> level_;
};

double resultPsnr(const SequenceSpec& spec, const FrameEnhancer& e, double scale)
{
    const auto truth = synthetic::renderTruth(spec, scale, e.accumY->width, e.accumY->height);
    // The capture crops about three frame pixels; stay a little further in.
    return synthetic::psnr(*e.accumY, truth, static_cast<int>(6 * scale));
}

TEST_P(EndToEnd, NineFramesBeatOneAtTwiceTheSize)
{
    for (int noiseReduction : {0, 1}) {
        const SequenceSpec spec = standardSpec(3.0);
        RunOptions o;
        o.scale = 2.0;
        o.noiseReduction = noiseReduction;
        o.frames = 1;
        const double one = resultPsnr(spec, *presets::runMoving(spec, o), 2.0);
        o.frames = 9;
        const double nine = resultPsnr(spec, *presets::runMoving(spec, o), 2.0);
        std::printf("noise reduction %d: PSNR 1 frame %.2f dB, 9 frames %.2f dB\n", noiseReduction, one, nine);
        // Measured: +2.6 dB without noise reduction, +0.6 dB with it (the
        // bank's boost of strong fine detail is the same in every frame).
        EXPECT_GT(nine, one + (noiseReduction == 0 ? 2.0 : 0.3)) << "noise reduction " << noiseReduction;
    }
}

TEST_P(EndToEnd, IdenticalFramesGiveTheSinglePicture)
{
    const SequenceSpec spec = standardSpec(0.0);
    Image8uC3 frame;
    synthetic::renderFrame(spec, synthetic::Motion{}, 1, &frame);
    auto same = [&](int, Image8uC3* f) { copyImage8uC3(&frame, f); };
    RunOptions o;
    o.scale = 2.0;
    o.frames = 1;
    auto one = presets::run(spec, o, same);
    o.frames = 9;
    auto nine = presets::run(spec, o, same);
    double worst = 0.0;
    const int m = 8;
    for (int y = m; y < one->accumY->height - m; ++y)
        for (int x = m; x < one->accumY->width - m; ++x)
            worst = std::max(worst, std::fabs(double(one->accumY->row(y)[x]) - nine->accumY->row(y)[x]));
    EXPECT_LT(worst, 0.5);
}

// A bright square in one frame only: its confidence is about 0, so the
// result does not show it.
TEST_P(EndToEnd, ObjectInOneFrameLeavesNoGhost)
{
    const SequenceSpec spec = standardSpec(1.0);
    const int frames = 5;
    auto withObject = [&](int i, Image8uC3* f) {
        synthetic::renderFrame(spec, synthetic::runMotion(i, frames), 100 + i, f);
        if (i == 0)
            for (int y = 30; y < 46; ++y)
                for (int x = 40; x < 56; ++x)
                    std::memset(f->row(y) + 3 * x, 250, 3);
    };
    RunOptions o;
    o.frames = frames;
    o.scale = 2.0;
    o.motionSmooth = 2;
    auto ghost = presets::run(spec, o, withObject);
    auto clean = presets::runMoving(spec, RunOptions{frames, 2.0, 0, 2, 0});
    double worst = 0.0;
    for (int y = 60; y < 92; ++y)
        for (int x = 80; x < 112; ++x)
            worst = std::max(worst, std::fabs(double(ghost->accumY->row(y)[x]) - clean->accumY->row(y)[x]));
    std::printf("largest difference over the object: %.2f grey levels\n", worst);
    EXPECT_LT(worst, 6.0);
}

// Frames unlike the reference stay out of the result, with the reference in
// the middle of the run or in its first slot (a capture at the start of a
// video): across a cut to or from black their registration fails and their
// confidence is 0 everywhere. A white row that a damaged neighbour carries
// is only damped: the confidence blurs the difference with its 7 x 7 kernel
// before the threshold, so a one-pixel row about 127 grey levels brighter
// than the scene keeps a confidence near 0.3 (motion smooth "med") and
// shows at under a tenth of its strength.
TEST_P(EndToEnd, FramesUnlikeTheReferenceStayOut)
{
    const SequenceSpec spec = standardSpec(0.0);
    const int frames = 5;
    enum Kind { BlackReference, BlackNeighbours, WhiteRowInANeighbour };
    for (int reference : {2, 0}) {
        for (Kind kind : {BlackReference, BlackNeighbours, WhiteRowInANeighbour}) {
            SCOPED_TRACE(testing::Message() << "reference slot " << reference << ", case " << kind);
            bool spoiled = true;
            auto frameAt = [&](int i, Image8uC3* f) {
                synthetic::renderFrame(spec, synthetic::runMotion(i, frames), 40 + i, f);
                const bool black = kind == BlackReference ? i == reference : kind == BlackNeighbours && i != reference;
                if (black)
                    std::memset(f->data, 0, static_cast<std::size_t>(f->step) * f->height);
                if (spoiled && kind == WhiteRowInANeighbour && i == (reference + 1) % frames)
                    std::memset(f->row(40), 255, static_cast<std::size_t>(3 * spec.width));
            };
            RunOptions o;
            o.frames = frames;
            o.scale = 2.0;
            o.reference = reference;
            auto all = presets::run(spec, o, frameAt);
            // What the result would be without what stays out: the run
            // without the white row, or the reference alone.
            std::unique_ptr<FrameEnhancer> without;
            if (kind == WhiteRowInANeighbour) {
                spoiled = false;
                without = presets::run(spec, o, frameAt);
            } else {
                o.frames = 1;
                o.reference = 0;
                without = presets::run(spec, o, [&](int, Image8uC3* f) { frameAt(reference, f); });
            }
            double sum = 0.0, brightestOnTheRow = 0.0;
            int count = 0;
            const int m = 12;
            for (int y = m; y < all->accumY->height - m; ++y)
                for (int x = m; x < all->accumY->width - m; ++x) {
                    const double d = double(all->accumY->row(y)[x]) - without->accumY->row(y)[x];
                    sum += std::fabs(d);
                    ++count;
                    if (y >= 76 && y <= 84)  // the row, frame line 40, on the grid
                        brightestOnTheRow = std::max(brightestOnTheRow, d);
                }
            EXPECT_LT(sum / count, kind == WhiteRowInANeighbour ? 0.5 : 0.01);
            EXPECT_LT(brightestOnTheRow, kind == WhiteRowInANeighbour ? 12.7 : 0.01);
        }
    }
}

// Black frames and letterbox bars: finite, and the same from run to run.
TEST_P(EndToEnd, BlackAndLetterboxedFramesStayFiniteAndRepeatable)
{
    const SequenceSpec spec = standardSpec(0.0);
    for (int letterbox = 0; letterbox < 2; ++letterbox) {
        auto frameAt = [&](int i, Image8uC3* f) {
            synthetic::renderFrame(spec, synthetic::runMotion(i, 3), 5 + i, f);
            for (int y = 0; y < spec.height; ++y)
                if (!letterbox || y < 16 || y >= spec.height - 16)
                    std::memset(f->row(y), 0, static_cast<std::size_t>(3 * spec.width));
        };
        RunOptions o;
        o.frames = 3;
        o.scale = 2.5;
        o.noiseReduction = 3;
        auto a = presets::run(spec, o, frameAt);
        auto b = presets::run(spec, o, frameAt);
        const Image32f* planes[3][2] = {{a->accumY.get(), b->accumY.get()},
                                        {a->accumU.get(), b->accumU.get()},
                                        {a->accumV.get(), b->accumV.get()}};
        for (auto& p : planes)
            for (int y = 0; y < p[0]->height; ++y) {
                for (int x = 0; x < p[0]->width; ++x)
                    ASSERT_TRUE(std::isfinite(p[0]->row(y)[x])) << letterbox << " at " << x << "," << y;
                ASSERT_EQ(std::memcmp(p[0]->row(y), p[1]->row(y), sizeof(float) * p[0]->width), 0)
                    << "row " << y;
            }
        if (!letterbox) {
            EXPECT_NEAR(a->accumY->row(100)[120], 0.0f, 0.5f);
        }
    }
}

// Fields of an interlaced camera are taken half a frame apart: the scene
// moves between them. The run rebuilds each field and registers it.
TEST_P(EndToEnd, InterlacedSequenceIsRebuilt)
{
    SequenceSpec spec = standardSpec(1.0);
    spec.height = 96;
    const int frames = 3;
    // Field f of frame i shows the scene at time t = 2i + f (in fields).
    auto motionAt = [](int t) {
        synthetic::Motion m;
        m.dx = 1.3 * (t - 2);
        m.dy = 0.4 * (t - 2);
        return m;
    };
    auto frameAt = [&](int i, Image8uC3* f) {
        Image8uC3 even, odd;
        synthetic::renderFrame(spec, motionAt(2 * i), 40 + 2 * i, &even);
        synthetic::renderFrame(spec, motionAt(2 * i + 1), 41 + 2 * i, &odd);
        f->reallocate(spec.width, spec.height);
        for (int y = 0; y < spec.height; ++y)
            std::memcpy(f->row(y), (y % 2 ? odd : even).row(y), static_cast<std::size_t>(3 * spec.width));
    };
    RunOptions o;
    o.frames = frames;
    o.scale = 2.0;
    o.interlaced = 1;
    auto interlaced = presets::run(spec, o, frameAt);
    o.interlaced = 0;
    auto woven = presets::run(spec, o, frameAt);
    // The truth is the scene at the time of the reference's first field
    // (time 2: unmoved).
    const double a = resultPsnr(spec, *interlaced, 2.0);
    const double b = resultPsnr(spec, *woven, 2.0);
    std::printf("interlaced PSNR %.2f dB, frames taken whole %.2f dB\n", a, b);
    EXPECT_GT(a, b + 1.0);
    EXPECT_GT(a, 25.0);
}

// The error of a picture against the truth, split into its mean (a uniform
// brightness offset) and the PSNR of what remains around that mean.
struct ErrorSplit {
    double mean;
    double centredPsnr;
};

ErrorSplit splitError(const SequenceSpec& spec, const FrameEnhancer& e, double scale)
{
    const auto truth = synthetic::renderTruth(spec, scale, e.accumY->width, e.accumY->height);
    const Image32f& plane = *e.accumY;
    const int m = static_cast<int>(6 * scale);
    double sum = 0.0, sq = 0.0;
    long n = 0;
    for (int y = m; y < plane.height - m; ++y)
        for (int x = m; x < plane.width - m; ++x) {
            const double d = plane.row(y)[x] - truth[static_cast<std::size_t>(y) * plane.width + x];
            sum += d;
            sq += d * d;
            ++n;
        }
    const double mean = sum / n;
    return {mean, 10.0 * std::log10(255.0 * 255.0 / (sq / n - mean * mean))};
}

// The level's picture is the same from run to run, and as close to the truth
// as px's: within 0.05 dB once each picture's mean offset is set apart, and
// with a mean offset within one grey level of px's (the levels' colour
// conversions may round a grey one level lower or higher than px does).
TEST_P(EndToEnd, PictureRepeatsAndMatchesPxAgainstTheTruth)
{
    const SequenceSpec spec = standardSpec(2.0);
    for (int noiseReduction : {0, 2}) {
        RunOptions o;
        o.frames = 5;
        o.scale = 2.0;
        o.noiseReduction = noiseReduction;
        auto a = presets::runMoving(spec, o);
        auto b = presets::runMoving(spec, o);
        const Image32f* planes[3][2] = {{a->accumY.get(), b->accumY.get()},
                                        {a->accumU.get(), b->accumU.get()},
                                        {a->accumV.get(), b->accumV.get()}};
        for (auto& p : planes)
            for (int y = 0; y < p[0]->height; ++y)
                ASSERT_EQ(std::memcmp(p[0]->row(y), p[1]->row(y), sizeof(float) * p[0]->width), 0)
                    << "row " << y << ", noise reduction " << noiseReduction;
        ErrorSplit px{};
        {
            level_harness::ScopedLevel plain(vpLevelPx);
            px = splitError(spec, *presets::runMoving(spec, o), 2.0);
        }
        const ErrorSplit level = splitError(spec, *a, 2.0);
        std::printf("noise reduction %d: %s PSNR %.4f dB, about the mean error %.3f: %.4f dB; px %.4f dB about %.3f\n",
                    noiseReduction, level_harness::levelName(GetParam()), resultPsnr(spec, *a, 2.0), level.mean,
                    level.centredPsnr, px.centredPsnr, px.mean);
        EXPECT_NEAR(level.centredPsnr, px.centredPsnr, 0.05) << "noise reduction " << noiseReduction;
        // One grey level, and a little for the float sums of the error.
        EXPECT_NEAR(level.mean, px.mean, 1.001) << "noise reduction " << noiseReduction;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, EndToEnd, ::testing::ValuesIn(level_harness::kAllLevels),
                         [](const ::testing::TestParamInfo<VpLevel>& info) {
                             return std::string(level_harness::levelName(info.param));
                         });

}  // namespace
