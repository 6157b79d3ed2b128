// Neighbourhood filters on a 720x576 plane, as the engine calls them; beside
// them the same work done by OpenCV when it is installed, single-threaded.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "primitives/primitives.h"

#ifdef FE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;

std::vector<Vp8u> randomBytes(size_t n) {
    std::mt19937 rng(1);
    std::vector<Vp8u> v(n);
    for (auto& b : v) b = static_cast<Vp8u>(rng());
    return v;
}

std::vector<float> randomFloats(size_t n) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> d(0.0f, 255.0f);
    std::vector<float> v(n);
    for (auto& f : v) f = d(rng);
    return v;
}

// The engine filters the inner region of a full plane.
void BM_Median(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const int r = m / 2;
    auto src = randomBytes(static_cast<size_t>(kWidth) * kHeight);
    std::vector<Vp8u> dst(src.size());
    const VpiSize roi{kWidth - 2 * r, kHeight - 2 * r};
    for (auto _ : state) {
        vpiFilterMedian_8u_C1R(src.data() + r * kWidth + r, kWidth, dst.data() + r * kWidth + r, kWidth, roi, {m, m},
                               {r, r});
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_Median)->Arg(5)->Arg(7);

void BM_Erode3x3(benchmark::State& state) {
    auto src = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    std::vector<float> dst(src.size());
    const int step = kWidth * 4;
    for (auto _ : state) {
        vpiErode3x3_32f_C1R(src.data() + kWidth + 1, step, dst.data() + kWidth + 1, step, {kWidth - 2, kHeight - 2});
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_Erode3x3);

void BM_RowColumn7(benchmark::State& state) {
    auto src = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    std::vector<float> tmp(src.size()), dst(src.size());
    const float kernel[7] = {0.05f, 0.1f, 0.2f, 0.3f, 0.2f, 0.1f, 0.05f};
    const int step = kWidth * 4;
    for (auto _ : state) {
        vpiFilterRow_32f_C1R(src.data() + 3, step, tmp.data() + 3, step, {kWidth - 6, kHeight}, kernel, 7, 3);
        vpiFilterColumn_32f_C1R(tmp.data() + 3 * kWidth + 3, step, dst.data() + 3 * kWidth + 3, step,
                                {kWidth - 6, kHeight - 6}, kernel, 7, 3);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_RowColumn7);

#ifdef FE_HAVE_OPENCV
void BM_OpenCV_MedianBlur(benchmark::State& state) {
    cv::setNumThreads(1);
    auto bytes = randomBytes(static_cast<size_t>(kWidth) * kHeight);
    cv::Mat src(kHeight, kWidth, CV_8UC1, bytes.data()), dst;
    for (auto _ : state) {
        cv::medianBlur(src, dst, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(dst.data);
    }
}
BENCHMARK(BM_OpenCV_MedianBlur)->Arg(5)->Arg(7);

void BM_OpenCV_Erode3x3(benchmark::State& state) {
    cv::setNumThreads(1);
    auto floats = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    cv::Mat src(kHeight, kWidth, CV_32FC1, floats.data()), dst;
    const cv::Mat kernel = cv::Mat::ones(3, 3, CV_8U);
    for (auto _ : state) {
        cv::erode(src, dst, kernel);
        benchmark::DoNotOptimize(dst.data);
    }
}
BENCHMARK(BM_OpenCV_Erode3x3);

void BM_OpenCV_SepFilter7(benchmark::State& state) {
    cv::setNumThreads(1);
    auto floats = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    cv::Mat src(kHeight, kWidth, CV_32FC1, floats.data()), dst;
    const cv::Mat kernel = (cv::Mat_<float>(7, 1) << 0.05f, 0.1f, 0.2f, 0.3f, 0.2f, 0.1f, 0.05f);
    for (auto _ : state) {
        cv::sepFilter2D(src, dst, CV_32F, kernel, kernel);
        benchmark::DoNotOptimize(dst.data);
    }
}
BENCHMARK(BM_OpenCV_SepFilter7);
#endif

}  // namespace

BENCHMARK_MAIN();
