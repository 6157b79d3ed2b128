// Motion registration: one estimate of a 720x576 frame pair (affine motion:
// 1 degree rotation, 2 % scale and a shift) with 4-level pyramids, and the
// same registration by OpenCV's findTransformECC (MOTION_AFFINE) beside it
// when OpenCV is present. Each reports its error at the image corners in
// pixels (counter corner_error_px); everything runs single-threaded.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "registration/registration.h"
#include "tests/registration/synthetic_image.h"

#if defined(FE_HAVE_OPENCV) && defined(FE_HAVE_OPENCV_VIDEO)
#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>
#endif

namespace {

constexpr int kRows = 576;
constexpr int kColumns = 720;
constexpr uint8_t kKey = 250;

struct Pair {
    regtest::Affine motion =
        regtest::Affine::rotationScale(1.0, 1.02, kColumns / 2.0, kRows / 2.0, 1.5, -0.75);
    std::vector<uint8_t> current, reference;
    std::vector<uint8_t> mask = std::vector<uint8_t>(size_t(kRows) * kColumns, kKey);

    Pair() { regtest::makePair(regtest::Texture(7), kRows, kColumns, motion, 0.0, current, reference); }
};

const Pair& pair() {
    static const Pair p;
    return p;
}

MotionModel engineModel() {
    MotionModel m;
    m.setType(14);
    m.setCentre(0.0, 0.0);
    m.setOffset(0, 0.0);
    m.zeroCoefficients();
    return m;
}

// Estimates the pair's motion each iteration; the two pyramids are built
// either once beforehand or inside every iteration.
void registration(benchmark::State& state, bool buildEachIteration) {
    const Pair& p = pair();
    ImagePyramid current, reference;
    current.allocate(kRows, kColumns, 4);
    reference.allocate(kRows, kColumns, 4);
    if (!buildEachIteration) {
        current.build(p.current.data());
        reference.build(p.reference.data());
    }
    MotionEstimator estimator;
    MotionModel model;
    bool ok = true;
    for (auto _ : state) {
        if (buildEachIteration) {
            current.build(p.current.data());
            reference.build(p.reference.data());
        }
        model = engineModel();
        ok = estimator.estimate(current, reference, p.mask.data(), kKey, model) && ok;
        benchmark::ClobberMemory();
    }
    double c[12];
    model.getCoefficients(c);
    state.counters["corner_error_px"] = regtest::cornerError(c, p.motion, kRows, kColumns);
    if (!ok) state.SkipWithError("estimate failed");
}

// Estimate only: both pyramids built beforehand, as the engine does for the
// reference.
void BM_RegistrationEstimate(benchmark::State& state) { registration(state, false); }
BENCHMARK(BM_RegistrationEstimate)->Unit(benchmark::kMillisecond);

// From the two 8-bit frames: both pyramids built, then the estimate (the
// same input as findTransformECC receives).
void BM_RegistrationFromFrames(benchmark::State& state) { registration(state, true); }
BENCHMARK(BM_RegistrationFromFrames)->Unit(benchmark::kMillisecond);

void BM_PyramidBuild(benchmark::State& state) {
    const Pair& p = pair();
    ImagePyramid pyramid;
    pyramid.allocate(kRows, kColumns, 4);
    for (auto _ : state) benchmark::DoNotOptimize(pyramid.build(p.current.data()));
}
BENCHMARK(BM_PyramidBuild)->Unit(benchmark::kMillisecond);

#if defined(FE_HAVE_OPENCV) && defined(FE_HAVE_OPENCV_VIDEO)
// findTransformECC: the warp maps template (current) coordinates onto the
// input (reference), the registration's convention.
void BM_OpenCvFindTransformECC(benchmark::State& state) {
    cv::setNumThreads(1);
    const Pair& p = pair();
    const cv::Mat current(kRows, kColumns, CV_8UC1, const_cast<uint8_t*>(p.current.data()));
    const cv::Mat reference(kRows, kColumns, CV_8UC1, const_cast<uint8_t*>(p.reference.data()));
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 100, 1e-6);
    cv::Mat warp;
    bool ok = true;
    for (auto _ : state) {
        warp = cv::Mat::eye(2, 3, CV_32F);
        try {
            cv::findTransformECC(current, reference, warp, cv::MOTION_AFFINE, criteria, cv::noArray(),
                                 5);
        } catch (const cv::Exception&) {
            ok = false;
        }
    }
    const double c[6] = {warp.at<float>(0, 2), warp.at<float>(1, 2), warp.at<float>(0, 0) - 1.0,
                         warp.at<float>(0, 1), warp.at<float>(1, 0), warp.at<float>(1, 1) - 1.0};
    state.counters["corner_error_px"] = regtest::cornerError(c, p.motion, kRows, kColumns);
    if (!ok) state.SkipWithError("findTransformECC did not converge");
}
BENCHMARK(BM_OpenCvFindTransformECC)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
