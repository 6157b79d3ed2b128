// Construction, run order and progress, registration glue and warping of the
// engine, on small frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/frame_enhancer.h"
#include "tests/engine/synthetic.h"

namespace {

std::vector<int> g_progress;
int recordProgress(int percent)
{
    g_progress.push_back(percent);
    return 0;
}

void storeRun(FrameEnhancer& e, const synthetic::SequenceSpec& spec)
{
    const int n = e.frameStore->frameCount;
    for (int i = 0; i < n; ++i) {
        Image8uC3 f;
        synthetic::renderFrame(spec, synthetic::runMotion(i, n), spec.seed + i, &f);
        e.frameStore->setFrame(i, &f);
    }
}

synthetic::SequenceSpec smallSpec(int w = 48, int h = 40)
{
    synthetic::SequenceSpec s;
    s.width = w;
    s.height = h;
    return s;
}

TEST(FrameEnhancer, ConstructionDefaultsAndGridSizes)
{
    FrameEnhancer e(720, 480, 3, 1, 2.5);
    EXPECT_EQ(e.accumY->width, 1800);
    EXPECT_EQ(e.accumY->height, 1200);
    EXPECT_EQ(e.accumV->width, 1800);
    EXPECT_EQ(e.progressCallback, &DoNothing);
    EXPECT_EQ(e.chromaNoiseMode, 11);
    EXPECT_EQ(e.lumaNoiseMode, 3);
    EXPECT_FLOAT_EQ(e.lumaGainFloors[2], 0.1f);
    EXPECT_FLOAT_EQ(e.motionThreshold, 1.5f);
    EXPECT_FLOAT_EQ(e.motionSlope, 0.1f);
    EXPECT_FLOAT_EQ(e.gaborBank->orientationWeights[4], 0.5f);
    EXPECT_EQ(e.mask.data[e.mask.size - 1], 250);
    EXPECT_EQ(e.frameStore->halfHeight, 240);

    FrameEnhancer odd(721, 11, 1, 0, 2.5);
    EXPECT_EQ(odd.accumY->width, 1802);
    EXPECT_EQ(odd.accumY->height, 27);
    EXPECT_FLOAT_EQ(odd.gaborBank->orientationWeights[4], 1.0f);
}

TEST(FrameEnhancer, ProgressSequences)
{
    struct Case {
        int frames, interlaced, single;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {3, 0, 0, {1, 16, 33, 36, 39, 43, 46, 48, 50, 66, 69, 72, 76, 79, 81, 83, 100, 100}},
        {1, 0, 1, {1, 50, 100}},
        // Interlaced: (0,1), (0,0), (1,1), (2,0), (2,1) are processed.
        {3, 1, 0, {1,  16, 19, 22, 26, 29, 31, 33, 36, 39, 43, 46, 48, 50, 53, 56, 60, 63,
                   65, 66, 69, 72, 76, 79, 81, 83, 86, 89, 93, 96, 98, 100, 100}},
    };
    for (const Case& c : cases) {
        FrameEnhancer e(48, 40, c.frames, c.interlaced, 1.0);
        storeRun(e, smallSpec());
        e.lumaNoiseMode = 0;
        e.chromaNoiseMode = 10;
        e.singleFrame = c.single;
        e.progressCallback = recordProgress;
        e.estimateNoise(c.frames / 2);
        g_progress.clear();
        e.run();
        EXPECT_EQ(g_progress, c.expected) << c.frames << " frames, interlaced " << c.interlaced;
        EXPECT_EQ(e.fieldsDone, c.single ? 1 : 2 * c.frames);
    }
}

TEST(FrameEnhancer, SingleFrameHoldsTheWarpedReference)
{
    const synthetic::SequenceSpec spec = smallSpec();
    FrameEnhancer e(48, 40, 1, 0, 1.0);
    storeRun(e, spec);
    e.lumaNoiseMode = 0;
    e.chromaNoiseMode = 10;
    e.singleFrame = 1;
    e.estimateNoise(0);
    e.run();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(e.accumY->row(y)[x], e.frameStore->yPlanes[0]->row(y)[x]) << x << "," << y;
            ASSERT_EQ(e.accumU->row(y)[x], 128.0f);
        }
}

TEST(FrameEnhancer, NoiseEstimateOnlyInLogGaborMode)
{
    FrameEnhancer e(48, 40, 3, 0, 1.0);
    synthetic::SequenceSpec spec = smallSpec();
    spec.noiseSigma = 4.0;
    storeRun(e, spec);
    e.lumaNoiseMode = 0;
    e.estimateNoise(2);
    EXPECT_EQ(e.referenceIndex, 2);
    EXPECT_EQ(e.lumaNoiseLevels[0], 0.0f);
    e.lumaNoiseMode = 3;
    e.estimateNoise(1);
    EXPECT_EQ(e.referenceIndex, 1);
    EXPECT_GT(e.lumaNoiseLevels[0], 0.0f);
}

TEST(FrameEnhancer, DeinterlacesFieldsOfBothParities)
{
    Image32f f[3];
    for (auto& p : f) {
        p.allocate(3, 4);
        for (int i = 0; i < 4; ++i)
            for (int x = 0; x < 3; ++x)
                p.row(i)[x] = static_cast<float>(10 * i + x);
    }
    const float F[4] = {0, 10, 20, 30};
    const float even[8] = {F[0], 5, F[1], 15, F[2], 25, F[3], F[3]};
    const float odd[8] = {F[0], F[0], 5, F[1], 15, F[2], 25, F[3]};
    for (int parity = 0; parity < 2; ++parity) {
        Image32f o[3];
        FrameEnhancer::deinterlaceField(parity, &f[0], &f[1], &f[2], &o[0], &o[1], &o[2]);
        for (auto& p : o) {
            ASSERT_EQ(p.height, 8);
            ASSERT_EQ(p.width, 3);
            for (int r = 0; r < 8; ++r)
                EXPECT_EQ(p.row(r)[2], (parity ? odd : even)[r] + 2) << parity << " line " << r;
        }
    }
    Image32f one[3], out[3];
    for (auto& p : one) {
        p.allocate(2, 1);
        setImageValue(7.0f, &p);
    }
    FrameEnhancer::deinterlaceField(1, &one[0], &one[1], &one[2], &out[0], &out[1], &out[2]);
    ASSERT_EQ(out[2].height, 2);
    EXPECT_EQ(out[2].row(0)[1], 7.0f);
    EXPECT_EQ(out[2].row(1)[1], 7.0f);
}

TEST(FrameEnhancer, GridWarpWithIdentityAndShift)
{
    Image32f src, dst;
    src.allocate(20, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            src.row(y)[x] = static_cast<float>(x * 3 + y * 7);
    dst.allocate(20, 12);
    MotionModel m;
    FrameEnhancer::setIdentity(m);
    FrameEnhancer::warpToOutputGrid(1.0, m, &src, &dst);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(dst.row(y)[x], src.row(y)[x]) << x << "," << y;

    const float mark = -1000.0f;
    setImageValue(mark, &dst);
    m.c[0] = 10.0;
    FrameEnhancer::warpToOutputGrid(1.0, m, &src, &dst);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(dst.row(y)[x], mark) << x << "," << y;
        EXPECT_NEAR(dst.row(y)[15], src.row(y)[5], 1e-3f);
    }
}

TEST(FrameEnhancer, PlaneWarpAndMotionEstimate)
{
    const synthetic::SequenceSpec spec = smallSpec(64, 48);
    FrameEnhancer e(64, 48, 2, 0, 1.0);
    storeRun(e, spec);
    const Image8u* y0 = e.frameStore->yPlanes[1].get();

    MotionModel identity;
    FrameEnhancer::setIdentity(identity);
    Image8u warped;
    EXPECT_EQ(e.warpPlaneByModel(y0, identity, &warped), 1);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const int expected = (x == 63 || y == 47) ? 0 : y0->row(y)[x];
            ASSERT_EQ(warped.row(y)[x], expected) << x << "," << y;
        }

    // A singular model is refused: the plane comes back unwarped.
    MotionModel singular = identity;
    singular.c[2] = -1.0;
    EXPECT_EQ(e.warpPlaneByModel(y0, singular, &warped), 0);
    EXPECT_EQ(warped.row(47)[63], y0->row(47)[63]);

    // Estimating before the reference pyramid exists fails and leaves the
    // exact identity, whatever the model held.
    MotionModel m;
    m.c[0] = 3.0;
    m.c[7] = 0.5;
    m.setType(3);
    EXPECT_EQ(e.estimateMotion(y0, m), 0);
    double c[12];
    m.getCoefficients(c);
    for (double v : c)
        EXPECT_EQ(v, 0.0);
    EXPECT_EQ(m.type, 14);
    EXPECT_EQ(m.centreRow, 0.0);
    EXPECT_EQ(m.centreColumn, 0.0);
    EXPECT_EQ(m.offset, 0.0);
    EXPECT_EQ(m.offsetFlag, 0);

    e.buildReferencePyramid(y0);
    EXPECT_EQ(e.estimateMotion(y0, m), 1);
    m.getCoefficients(c);
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(c[k], 0.0, 0.01) << k;

    // A plane of another size than the pyramids is not registered.
    Image8u small(10, 10);
    std::memset(small.data, 0, static_cast<std::size_t>(small.step) * 10);
    EXPECT_EQ(e.estimateMotion(&small, m), 0);
}

TEST(FrameEnhancer, MissingFramesAreSkipped)
{
    const synthetic::SequenceSpec spec = smallSpec();
    FrameEnhancer e(48, 40, 3, 0, 1.5);
    Image8uC3 f;
    synthetic::renderFrame(spec, synthetic::Motion{}, 1, &f);
    e.frameStore->setFrame(1, &f);  // slots 0 and 2 stay empty
    e.lumaNoiseMode = 0;
    e.estimateNoise(1);
    e.run();
    for (int y = 0; y < e.accumY->height; ++y)
        for (int x = 0; x < e.accumY->width; ++x)
            ASSERT_TRUE(std::isfinite(e.accumY->row(y)[x]));

    // No reference at all: a black, finite result.
    FrameEnhancer none(48, 40, 3, 0, 1.0);
    none.estimateNoise(7);
    none.run();
    EXPECT_EQ(none.accumY->row(20)[20], 0.0f);
}

// Grid pixels that a frame's warp did not reach (left NaN) and weights
// outside 0..1 do not disturb the sums.
TEST(FrameEnhancer, WeightedAccumulation)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float plane, weight;
        float sum, weightSum;
    };
    const Case cases[] = {
        {100.0f, 0.5f, 60.0f, 1.5f}, {100.0f, 0.0f, 10.0f, 1.0f}, {100.0f, -0.2f, 10.0f, 1.0f},
        {100.0f, 1.3f, 110.0f, 2.0f}, {nan, 0.8f, 10.0f, 1.0f},   {100.0f, nan, 10.0f, 1.0f},
    };
    for (const Case& c : cases) {
        Image32f p[4], sums[4];
        for (int k = 0; k < 4; ++k) {
            p[k].allocate(3, 2);
            sums[k].allocate(3, 2);
            setImageValue(k == 3 ? c.weight : c.plane, &p[k]);
            setImageValue(k == 3 ? 1.0f : 10.0f, &sums[k]);
        }
        FrameEnhancer::accumulateWeighted(&p[0], &p[1], &p[2], &p[3], &sums[0], &sums[1], &sums[2], &sums[3]);
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(sums[k].row(1)[2], c.sum) << c.plane << " " << c.weight;
        EXPECT_FLOAT_EQ(sums[3].row(1)[2], c.weightSum) << c.plane << " " << c.weight;
    }
}

// An interlaced frame of odd height loses its last line; the registration
// sees planes of the fields' lines only.
TEST(FrameEnhancer, InterlacedOddHeight)
{
    const synthetic::SequenceSpec spec = smallSpec(48, 41);
    FrameEnhancer e(48, 41, 3, 1, 2.0);
    storeRun(e, spec);
    e.lumaNoiseMode = 0;
    e.estimateNoise(1);
    e.run();
    EXPECT_EQ(e.accumY->height, 82);
    for (int y = 0; y < 78; ++y)
        for (int x = 0; x < 94; ++x)
            ASSERT_TRUE(std::isfinite(e.accumY->row(y)[x]));
    EXPECT_NEAR(e.accumY->row(40)[48], e.frameStore->yPlanes[1]->row(20)[24], 40.0f);
}

// Degenerate frame sizes and counts run to the end without touching memory
// they do not own.
TEST(FrameEnhancer, DegenerateSizesAndCounts)
{
    struct Case {
        int w, h, frames, interlaced;
        double scale;
    };
    const Case cases[] = {{0, 0, 3, 0, 2.0}, {1, 1, 3, 0, 2.5}, {3, 2, 3, 1, 1.5}, {9, 7, 1, 0, 2.0},
                          {16, 12, 0, 0, 2.0}, {16, 12, -2, 0, 2.0}, {16, 12, 3, 0, -1.0}, {16, 12, 3, 0, 0.0}};
    for (const Case& c : cases) {
        FrameEnhancer e(c.w, c.h, c.frames, c.interlaced, c.scale);
        Image8uC3 f;
        f.allocate(c.w, c.h);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < 3 * c.w; ++x)
                f.row(y)[x] = static_cast<Vp8u>(17 * x + 5 * y);
        for (int i = 0; i < c.frames; ++i)
            e.frameStore->setFrame(i, &f);
        e.lumaNoiseMode = 3;
        e.chromaNoiseMode = 13;
        e.estimateNoise(c.frames / 2);
        EXPECT_EQ(e.run(), 1);
        for (int y = 0; y < e.accumY->height; ++y)
            for (int x = 0; x < e.accumY->width; ++x)
                ASSERT_TRUE(std::isfinite(e.accumY->row(y)[x])) << c.w << "x" << c.h;
    }
}

// Counts allocations, and fails every one after the first `g_allowed`.
int g_allowed = 0;
int g_taken = 0;
void* limitedAlloc(std::size_t n)
{
    ++g_taken;
    if (g_allowed <= 0)
        return nullptr;
    --g_allowed;
    return std::malloc(n);
}
void plainRelease(void* p) { std::free(p); }

// An allocation failing anywhere in a run leaves it with MemoryException;
// the engine is destroyed normally (the sanitizer run checks for leaks).
TEST(FrameEnhancer, OutOfMemoryLeavesTheRunCleanly)
{
    const synthetic::SequenceSpec spec = smallSpec();
    auto runWith = [&](int allowed) {
        FrameEnhancer e(48, 40, 3, 0, 2.0);
        storeRun(e, spec);
        e.lumaNoiseMode = 3;
        e.chromaNoiseMode = 12;
        e.estimateNoise(1);
        g_allowed = allowed;
        g_taken = 0;
        vpSetHeapHooks(limitedAlloc, plainRelease);
        bool thrown = false;
        try {
            e.run();
        } catch (const MemoryException&) {
            thrown = true;
        }
        vpSetHeapHooks(nullptr, nullptr);
        return thrown;
    };
    ASSERT_FALSE(runWith(1 << 30));
    const int needed = g_taken;
    ASSERT_GT(needed, 10);
    for (int allowed : {0, needed / 3, 2 * needed / 3})
        EXPECT_TRUE(runWith(allowed)) << allowed << " of " << needed;
    // Construction fails the same way, wherever its allocations run out.
    g_taken = 0;
    g_allowed = 1 << 30;
    vpSetHeapHooks(limitedAlloc, plainRelease);
    { FrameEnhancer probe(48, 40, 3, 0, 2.0); }
    vpSetHeapHooks(nullptr, nullptr);
    const int construction = g_taken;
    for (int allowed = 0; allowed < construction; allowed += 7) {
        g_allowed = allowed;
        vpSetHeapHooks(limitedAlloc, plainRelease);
        bool thrown = false;
        try {
            FrameEnhancer e(48, 40, 3, 0, 2.0);
        } catch (const MemoryException&) {
            thrown = true;
        }
        vpSetHeapHooks(nullptr, nullptr);
        EXPECT_TRUE(thrown) << allowed << " of " << construction;
    }
    // The primitives' own work buffers report a status instead: whichever
    // allocation fails, the run ends one way or the other.
    for (int allowed = needed - 4; allowed < needed; ++allowed)
        runWith(allowed);
}


// Counts the blocks of at least g_largeBytes bytes the hooks hand out.
std::size_t g_largeBytes = 0;
int g_largeBlocks = 0;
void* countingLargeAlloc(std::size_t n)
{
    if (n >= g_largeBytes)
        ++g_largeBlocks;
    return std::malloc(n);
}

// The planes of a run (grid planes, the weight sum, the planes of a frame)
// are taken once per run and reused for every frame: a run of seven frames
// takes no more grid-sized blocks than a run of three.
TEST(FrameEnhancer, RunTakesItsPlanesOncePerRunNotPerFrame)
{
    const synthetic::SequenceSpec spec = smallSpec();
    auto largeBlocksOfRun = [&](int frames, int interlaced) {
        FrameEnhancer e(48, 40, frames, interlaced, 2.0);
        storeRun(e, spec);
        e.lumaNoiseMode = 3;
        e.chromaNoiseMode = 12;
        e.estimateNoise(frames / 2);
        g_largeBytes = static_cast<std::size_t>(e.accumY->step) * static_cast<std::size_t>(e.accumY->height);
        g_largeBlocks = 0;
        vpSetHeapHooks(countingLargeAlloc, plainRelease);
        e.run();
        vpSetHeapHooks(nullptr, nullptr);
        return g_largeBlocks;
    };
    for (int interlaced : {0, 1}) {
        const int three = largeBlocksOfRun(3, interlaced);
        EXPECT_GT(three, 0) << "interlaced " << interlaced;
        EXPECT_EQ(largeBlocksOfRun(7, interlaced), three) << "interlaced " << interlaced;
    }
}

}  // namespace
