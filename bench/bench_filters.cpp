// Neighbourhood filters on a 720x576 plane, as the engine calls them; beside
// them the same work done by OpenCV when it is installed, single-threaded.
// The 3x3, 5x5 and 7x7 median, the 3x3 erosion and dilation and the 7-tap row and column
// filters also run at each processor level by its own variant (the argument
// names the level: 0 px, 1 a6, 2 w7, 3 t7).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "primitives/core/dispatch_variants.h"
#include "primitives/primitives.h"

#ifdef FE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;

// The shared machine's load only ever adds time: the fastest repetition is
// the steadiest figure to compare.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

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

// The engine's 7 smoothing taps, or a 17-tap bell like the denoiser's.
std::vector<float> taps(int n) {
    if (n == 7) return {0.05f, 0.1f, 0.2f, 0.3f, 0.2f, 0.1f, 0.05f};
    std::vector<float> k(n);
    for (int i = 0; i < n; ++i) k[i] = 1.0f / (1.0f + (i - n / 2) * (i - n / 2));
    return k;
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
BENCHMARK(BM_Median)->Arg(3)->Arg(5)->Arg(7)->ComputeStatistics("min", fastest);

void BM_Erode3x3(benchmark::State& state) {
    auto src = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    std::vector<float> dst(src.size());
    const int step = kWidth * 4;
    for (auto _ : state) {
        vpiErode3x3_32f_C1R(src.data() + kWidth + 1, step, dst.data() + kWidth + 1, step, {kWidth - 2, kHeight - 2});
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_Erode3x3)->ComputeStatistics("min", fastest);

void BM_RowColumn7(benchmark::State& state) {
    auto src = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    std::vector<float> tmp(src.size()), dst(src.size());
    const auto kernel = taps(7);
    const int step = kWidth * 4;
    for (auto _ : state) {
        vpiFilterRow_32f_C1R(src.data() + 3, step, tmp.data() + 3, step, {kWidth - 6, kHeight}, kernel.data(), 7, 3);
        vpiFilterColumn_32f_C1R(tmp.data() + 3 * kWidth + 3, step, dst.data() + 3 * kWidth + 3, step,
                                {kWidth - 6, kHeight - 6}, kernel.data(), 7, 3);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_RowColumn7)->ComputeStatistics("min", fastest);

// ---- Each level's own variant ----

template <typename Fn>
Fn pick(int level, Fn px, Fn a6, Fn w7, Fn t7) {
    const Fn all[] = {px, a6, w7, t7};
    return all[level];
}

void levelLabel(benchmark::State& state, int level, const std::string& prefix = "") {
    static const char* const names[] = {"px", "a6", "w7", "t7"};
    state.SetLabel(prefix + names[level]);
}

void BM_Level_Median(benchmark::State& state) {
    const int m = static_cast<int>(state.range(0));
    const int level = static_cast<int>(state.range(1));
    const auto median = pick(level, vpiFilterMedian_8u_C1R_px, vpiFilterMedian_8u_C1R_a6, vpiFilterMedian_8u_C1R_w7,
                             vpiFilterMedian_8u_C1R_t7);
    const int r = m / 2;
    auto src = randomBytes(static_cast<size_t>(kWidth) * kHeight);
    std::vector<Vp8u> dst(src.size());
    const VpiSize roi{kWidth - 2 * r, kHeight - 2 * r};
    for (auto _ : state) {
        median(src.data() + r * kWidth + r, kWidth, dst.data() + r * kWidth + r, kWidth, roi, {m, m}, {r, r});
        benchmark::DoNotOptimize(dst.data());
    }
    levelLabel(state, level);
}
BENCHMARK(BM_Level_Median)->ArgsProduct({{3, 5, 7}, {0, 1, 2, 3}})->ComputeStatistics("min", fastest);

// 3x3 erosion (range(0) == 0), dilation (1) and in-place erosion (2).
void BM_Level_Morph3x3(benchmark::State& state) {
    const int op = static_cast<int>(state.range(0));
    const int level = static_cast<int>(state.range(1));
    const auto erode = pick(level, vpiErode3x3_32f_C1R_px, vpiErode3x3_32f_C1R_a6, vpiErode3x3_32f_C1R_w7,
                            vpiErode3x3_32f_C1R_t7);
    const auto dilate = pick(level, vpiDilate3x3_32f_C1R_px, vpiDilate3x3_32f_C1R_a6, vpiDilate3x3_32f_C1R_w7,
                             vpiDilate3x3_32f_C1R_t7);
    const auto erodeInPlace = pick(level, vpiErode3x3_32f_C1IR_px, vpiErode3x3_32f_C1IR_a6,
                                   vpiErode3x3_32f_C1IR_w7, vpiErode3x3_32f_C1IR_t7);
    auto src = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    std::vector<float> dst(src.size());
    const int step = kWidth * 4;
    const VpiSize inner{kWidth - 2, kHeight - 2};
    for (auto _ : state) {
        if (op == 0)
            erode(src.data() + kWidth + 1, step, dst.data() + kWidth + 1, step, inner);
        else if (op == 1)
            dilate(src.data() + kWidth + 1, step, dst.data() + kWidth + 1, step, inner);
        else
            erodeInPlace(src.data() + kWidth + 1, step, inner);
        benchmark::DoNotOptimize(dst.data());
        benchmark::DoNotOptimize(src.data());
    }
    static const char* const names[] = {"erode ", "dilate ", "erode in place "};
    levelLabel(state, level, names[op]);
}
BENCHMARK(BM_Level_Morph3x3)->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3}})->ComputeStatistics("min", fastest);

// A row (range(0) == 0) or column filter at one level (range(1)), with the
// 7 taps of the engine's smoothing or, when range(2) is 17, the denoiser's
// 17-tap low pass.
void BM_Level_Filter(benchmark::State& state) {
    const bool rows = state.range(0) == 0;
    const int level = static_cast<int>(state.range(1));
    const int n = static_cast<int>(state.range(2));
    const auto filter = rows ? pick(level, vpiFilterRow_32f_C1R_px, vpiFilterRow_32f_C1R_a6, vpiFilterRow_32f_C1R_w7,
                                    vpiFilterRow_32f_C1R_t7)
                             : pick(level, vpiFilterColumn_32f_C1R_px, vpiFilterColumn_32f_C1R_a6,
                                    vpiFilterColumn_32f_C1R_w7, vpiFilterColumn_32f_C1R_t7);
    auto src = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    std::vector<float> dst(src.size());
    const auto kernel = taps(n);
    const int a = n / 2;
    const int step = kWidth * 4;
    for (auto _ : state) {
        if (rows)
            filter(src.data() + a, step, dst.data() + a, step, {kWidth - 2 * a, kHeight}, kernel.data(), n, a);
        else
            filter(src.data() + a * kWidth, step, dst.data() + a * kWidth, step, {kWidth, kHeight - 2 * a},
                   kernel.data(), n, a);
        benchmark::DoNotOptimize(dst.data());
    }
    levelLabel(state, level, std::string(rows ? "row " : "column ") + std::to_string(n) + " taps ");
}
BENCHMARK(BM_Level_Filter)->ArgsProduct({{0, 1}, {0, 1, 2, 3}, {7}})->ComputeStatistics("min", fastest);
BENCHMARK(BM_Level_Filter)->ArgsProduct({{0, 1}, {0}, {17}})->ComputeStatistics("min", fastest);

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
BENCHMARK(BM_OpenCV_MedianBlur)->Arg(3)->Arg(5)->Arg(7)->ComputeStatistics("min", fastest);

// 3x3 erosion (range(0) == 0) or dilation.
void BM_OpenCV_Morph3x3(benchmark::State& state) {
    cv::setNumThreads(1);
    auto floats = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    cv::Mat src(kHeight, kWidth, CV_32FC1, floats.data()), dst;
    const cv::Mat kernel = cv::Mat::ones(3, 3, CV_8U);
    const bool erode = state.range(0) == 0;
    for (auto _ : state) {
        if (erode)
            cv::erode(src, dst, kernel);
        else
            cv::dilate(src, dst, kernel);
        benchmark::DoNotOptimize(dst.data);
    }
    state.SetLabel(erode ? "erode" : "dilate");
}
BENCHMARK(BM_OpenCV_Morph3x3)->Arg(0)->Arg(1)->ComputeStatistics("min", fastest);

void BM_OpenCV_SepFilter7(benchmark::State& state) {
    cv::setNumThreads(1);
    auto floats = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    cv::Mat src(kHeight, kWidth, CV_32FC1, floats.data()), dst;
    auto k = taps(7);
    const cv::Mat kernel(7, 1, CV_32F, k.data());
    for (auto _ : state) {
        cv::sepFilter2D(src, dst, CV_32F, kernel, kernel);
        benchmark::DoNotOptimize(dst.data);
    }
}
BENCHMARK(BM_OpenCV_SepFilter7)->ComputeStatistics("min", fastest);

// One pass along the rows (range(0) == 0) or the columns, with range(1) taps.
void BM_OpenCV_Filter(benchmark::State& state) {
    cv::setNumThreads(1);
    auto floats = randomFloats(static_cast<size_t>(kWidth) * kHeight);
    cv::Mat src(kHeight, kWidth, CV_32FC1, floats.data()), dst;
    const int n = static_cast<int>(state.range(1));
    auto k = taps(n);
    const cv::Mat row(1, n, CV_32F, k.data());
    const cv::Mat kernel = state.range(0) == 0 ? row : row.t();
    for (auto _ : state) {
        cv::filter2D(src, dst, CV_32F, kernel);
        benchmark::DoNotOptimize(dst.data);
    }
    state.SetLabel(std::string(state.range(0) == 0 ? "row " : "column ") + std::to_string(n) + " taps");
}
BENCHMARK(BM_OpenCV_Filter)->ArgsProduct({{0, 1}, {7, 17}})->ComputeStatistics("min", fastest);
#endif

}  // namespace

BENCHMARK_MAIN();
