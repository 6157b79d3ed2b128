// The motion estimator end to end on synthetic frame pairs, and its checks,
// log lines and work planes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "registration/registration_core.h"
#include "tests/registration/synthetic_image.h"
#include "tests/registration/test_support.h"

namespace {

using regtest::Affine;
using regtest::CountingHeap;

constexpr uint8_t kKey = 250;

struct Frames {
    int rows, columns;
    std::vector<uint8_t> current, reference, mask;
    ImagePyramid currentPyramid, referencePyramid;

    Frames(int rowsIn, int columnsIn, const Affine& motion, double offset, unsigned seed,
           int levels = 4)
        : rows(rowsIn), columns(columnsIn), mask(size_t(rowsIn) * columnsIn, kKey) {
        regtest::makePair(regtest::Texture(seed), rows, columns, motion, offset, current,
                          reference);
        build(levels);
    }
    // Flat frames of one grey level.
    Frames(int rowsIn, int columnsIn, uint8_t grey)
        : rows(rowsIn), columns(columnsIn), current(size_t(rowsIn) * columnsIn, grey),
          reference(current), mask(current.size(), kKey) {
        build(4);
    }
    void build(int levels) {
        EXPECT_EQ(currentPyramid.allocate(rows, columns, levels), 0);
        EXPECT_EQ(referencePyramid.allocate(rows, columns, levels), 0);
        EXPECT_EQ(currentPyramid.build(current.data()), 0);
        EXPECT_EQ(referencePyramid.build(reference.data()), 0);
    }
};

// The model the engine passes: type 14, centre (0, 0), no offset, identity.
MotionModel engineModel() {
    MotionModel m;
    m.setType(14);
    m.setCentre(0.0, 0.0);
    m.setOffset(0, 0.0);
    m.zeroCoefficients();
    return m;
}

double cornerError(const MotionModel& m, const Affine& truth, int rows, int columns) {
    double c[12];
    m.getCoefficients(c);
    return regtest::cornerError(c, truth, rows, columns);
}

TEST(MotionEstimatorAccuracy, SyntheticPairsWithTheEngineSettings) {
    const int R = 240, C = 320;
    Affine translation;
    translation.c[0] = 3.25;
    translation.c[1] = -2.5;
    // 1 degree rotation and 2 % scale about the image centre, with a shift.
    const Affine affine = Affine::rotationScale(1.0, 1.02, C / 2.0, R / 2.0, 1.5, -0.75);
    const Affine shrink = Affine::rotationScale(-1.0, 0.98, C / 2.0, R / 2.0, -2.0, 1.25);
    const struct {
        const char* name;
        Affine motion;
        double offset;
        uint8_t estimateOffset;
        unsigned seed;
    } cases[] = {
        {"translation (3.25, -2.5)", translation, 0.0, 0, 7},
        {"rotation 1 degree, scale 1.02", affine, 0.0, 0, 8},
        {"rotation -1 degree, scale 0.98", shrink, 0.0, 0, 9},
        // A brightness offset is estimated as one more parameter (the offset
        // flag of the model): left out of the model it is partly explained
        // by a scale, and a few grey levels already bias the corners by
        // tenths of a pixel.
        {"affine with brightness offset 12", affine, 12.0, 1, 10},
        {"translation with brightness offset -10", translation, -10.0, 1, 11},
    };
    MotionEstimator estimator;  // one estimator for all, as in the engine
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Frames frames(R, C, c.motion, c.offset, c.seed);
        MotionModel model = engineModel();
        model.setOffset(c.estimateOffset, 0.0);
        ASSERT_TRUE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                       frames.mask.data(), kKey, model));
        EXPECT_LT(cornerError(model, c.motion, R, C), 0.05);
        EXPECT_EQ(model.type, 14);
        EXPECT_EQ(model.centreRow, 0.0);
        EXPECT_EQ(model.centreColumn, 0.0);
        if (c.estimateOffset) {
            EXPECT_NEAR(model.offset, c.offset, 0.5);
        } else {
            EXPECT_EQ(model.offset, 0.0);
        }
        EXPECT_GT(estimator.overlapRatio, 0.5);
        EXPECT_LE(estimator.overlapRatio, 1.0);
        EXPECT_EQ(estimator.topLevel, 3);
    }
}

TEST(MotionEstimatorAccuracy, IdenticalFramesGiveTheIdentity) {
    Frames frames(240, 320, Affine(), 0.0, 12);
    MotionEstimator estimator;
    MotionModel model = engineModel();
    ASSERT_TRUE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                   frames.mask.data(), kKey, model));
    for (double c : model.c) EXPECT_EQ(c, 0.0);
}

TEST(MotionEstimatorAccuracy, CentroidCentreDescribesTheSameMotion) {
    const int R = 240, C = 320;
    const Affine affine = Affine::rotationScale(1.0, 1.02, C / 2.0, R / 2.0, 1.5, -0.75);
    Frames frames(R, C, affine, 0.0, 8);
    MotionEstimator estimator;
    MotionModel model;  // centre (-1, -1): the centroid of the key pixels
    ASSERT_TRUE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                   frames.mask.data(), kKey, model));
    EXPECT_EQ(model.centreRow, (R - 1) / 2.0);
    EXPECT_EQ(model.centreColumn, (C - 1) / 2.0);
    RegistrationModel r = registrationModelFrom(model);
    double full[13];
    ASSERT_TRUE(modelAtCentre(r, full, 0.0, 0.0));
    EXPECT_LT(regtest::cornerError(full, affine, R, C), 0.05);
}

TEST(MotionEstimatorFailures, FlatFramesCannotBeRegistered) {
    Frames frames(120, 160, 128);
    MotionEstimator estimator;
    MotionModel model = engineModel();
    model.c[0] = 0.125;  // whatever the caller holds stays
    testing::internal::CaptureStderr();
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                    frames.mask.data(), kKey, model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(model.c[0], 0.125);
    for (int k = 1; k < 12; ++k) EXPECT_EQ(model.c[k], 0.0);
}

TEST(MotionEstimatorFailures, CentroidIsKeptEvenWhenTheRegistrationFails) {
    Frames frames(480, 640, 90);
    MotionEstimator estimator;
    MotionModel model;  // centre (-1, -1)
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                    frames.mask.data(), kKey, model));
    EXPECT_EQ(model.centreRow, 239.5);
    EXPECT_EQ(model.centreColumn, 319.5);
}

TEST(MotionEstimatorFailures, InputChecksAndLogLines) {
    Frames frames(64, 80, Affine(), 0.0, 3);
    MotionEstimator estimator;
    MotionModel model = engineModel();

    // Pyramids of different sizes.
    ImagePyramid other;
    ASSERT_EQ(other.allocate(64, 81, 4), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, other, frames.mask.data(), kKey, model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CM est- size d\n");
    testing::internal::CaptureStderr();
    std::vector<int16_t> mask16(frames.mask.begin(), frames.mask.end());
    EXPECT_FALSE(estimator.estimateLevels(frames.currentPyramid, other, mask16.data(), kKey, model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CM est - E: P size\n");

    // A pyramid not allocated, a missing mask: false without a line.
    ImagePyramid empty;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, empty, frames.mask.data(), kKey, model));
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, frames.referencePyramid, nullptr, kKey,
                                    model));
    // A mask without the key.
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                    frames.mask.data(), 17, model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // Type 20.
    model.setType(20);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                    frames.mask.data(), kKey, model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CM est - not impl.\n\n");
    EXPECT_EQ(model.type, 20);  // the caller's type is never changed
    for (double c : model.c) EXPECT_EQ(c, 0.0);
}

TEST(MotionEstimatorFailures, SettingsChecks) {
    Frames frames(64, 80, Affine(), 0.0, 3);
    MotionModel model = engineModel();
    const struct {
        int start, intermediate, full;
        const char* line;
    } bounds[] = {{3, 2, 2, "CM est - ln 2  2...\n"}, {2, 2, 1, "CM est - ln 2  2...\n"},
                  {1, 3, 0, "CM est - ln 3  1...\n"}};
    for (const auto& b : bounds) {
        MotionEstimator estimator;
        estimator.maxStartLevel = b.start;
        estimator.intermediateLevel = b.intermediate;
        estimator.fullModelLevel = b.full;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                        frames.mask.data(), kKey, model));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), b.line);
    }
    MotionEstimator estimator;
    estimator.maxLevel = 0;
    estimator.minLevel = 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                    frames.mask.data(), kKey, model));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CM est - i..\n");
}

TEST(MotionEstimatorRecord, ConstructionAndRate) {
    MotionEstimator e;
    EXPECT_EQ(e.rate, 0.4000000059604645);
    EXPECT_EQ(e.overlapWeightThreshold, 0.20000000298023224);
    EXPECT_EQ(e.outerIterations, 7);
    EXPECT_EQ(e.irlsIterations, 8);
    EXPECT_EQ(e.finalScale, 8.0);
    EXPECT_EQ(e.maxLevel, 3);
    EXPECT_EQ(e.computeOverlap, 1);
    testing::internal::CaptureStderr();
    e.setRate(1.5f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CMrate\n");
    EXPECT_EQ(e.rate, 1.5);
    testing::internal::CaptureStderr();
    e.setRate(0.0f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(MotionEstimatorWorkPlanes, ReusedForOneSizeAndReallocatedForAnother) {
    Affine shift;
    shift.c[0] = 1.5;
    MotionEstimator estimator;
    MotionModel model = engineModel();
    {
        Frames a(64, 96, shift, 0.0, 4);
        ASSERT_TRUE(estimator.estimate(a.currentPyramid, a.referencePyramid, a.mask.data(), kKey,
                                       model));
        const void* planes = estimator.residuals[0].data;
        const void* weights = estimator.weights[0].data;
        model = engineModel();
        ASSERT_TRUE(estimator.estimate(a.currentPyramid, a.referencePyramid, a.mask.data(), kKey,
                                       model));
        EXPECT_EQ(estimator.residuals[0].data, planes);
        EXPECT_EQ(estimator.weights[0].data, weights);
        EXPECT_EQ(estimator.cachedRows, 64);
    }
    {
        Frames b(80, 72, shift, 0.0, 5);
        model = engineModel();
        ASSERT_TRUE(estimator.estimate(b.currentPyramid, b.referencePyramid, b.mask.data(), kKey,
                                       model));
        EXPECT_EQ(estimator.cachedRows, 80);
        EXPECT_EQ(estimator.residuals[0].rows, 80);
        EXPECT_EQ(estimator.weights[0].columns, 72);
        EXPECT_EQ(estimator.maskLevels[3].rows, 10);
    }
    // Same size, fewer levels, then more again: the chains follow the level
    // count they are used with (ASan checks the releases).
    {
        Frames two(80, 72, shift, 0.0, 5, 2);
        model = engineModel();
        ASSERT_TRUE(estimator.estimate(two.currentPyramid, two.referencePyramid, two.mask.data(),
                                       kKey, model));
        EXPECT_EQ(estimator.topLevel, 1);
        EXPECT_EQ(estimator.weights[2].data, nullptr);
        EXPECT_EQ(estimator.residuals[2].data, nullptr);
        EXPECT_NEAR(model.c[0], 1.5, 0.05);
        Frames four(80, 72, shift, 0.0, 5, 4);
        model = engineModel();
        ASSERT_TRUE(estimator.estimate(four.currentPyramid, four.referencePyramid,
                                       four.mask.data(), kKey, model));
        EXPECT_EQ(estimator.topLevel, 3);
        EXPECT_NE(estimator.weights[3].data, nullptr);
        EXPECT_NE(estimator.maskLevels[3].data, nullptr);
    }
}

TEST(MotionEstimatorWorkPlanes, AllocationFailuresFailCleanly) {
    Affine shift;
    shift.c[0] = -1.25;
    Frames frames(48, 64, shift, 0.0, 6);
    releaseKernelCache();
    long needed = 0;
    {
        CountingHeap heap;
        MotionEstimator estimator;
        MotionModel model = engineModel();
        ASSERT_TRUE(estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                       frames.mask.data(), kKey, model));
        needed = CountingHeap::allocations();
    }
    ASSERT_GT(needed, 10);
    // Fail each of the first allocations (the work planes, the mask) and a
    // spread of the later ones (the solves of the driver).
    for (long failAt = 1; failAt <= needed; failAt += (failAt < 40 ? 1 : 37)) {
        SCOPED_TRACE(failAt);
        CountingHeap heap(failAt);
        {
            MotionEstimator estimator;
            MotionModel model = engineModel();
            testing::internal::CaptureStderr();
            const bool ok = estimator.estimate(frames.currentPyramid, frames.referencePyramid,
                                               frames.mask.data(), kKey, model);
            const std::string log = testing::internal::GetCapturedStderr();
            EXPECT_TRUE(log.empty() || log == "CM est - mem\n") << log;
            if (!ok) {
                for (double c : model.c) EXPECT_EQ(c, 0.0);
            }
        }
        EXPECT_EQ(CountingHeap::liveBlocks(), 0);
    }
}

}  // namespace
