// The engine's and the display's resizes at every processor level (px, a6, w7,
// t7; the label names the level), single-threaded: a 720x576 float plane to 2.5x
// cubic, 24-bit pictures cubic and linear (engine and display zooms above 1,
// display zoom below 1), and area averaging. Beside them the same work by OpenCV
// when it is installed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "primitives/primitives.h"
#include "primitives/core/dispatch_variants.h"

#ifdef FE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kSrcW = 720, kSrcH = 576;

std::vector<float> makePlane() {
    std::vector<float> src(static_cast<std::size_t>(kSrcW) * kSrcH);
    for (int y = 0; y < kSrcH; ++y)
        for (int x = 0; x < kSrcW; ++x)
            src[static_cast<std::size_t>(y) * kSrcW + x] =
                static_cast<float>(128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.037) + (x * 31 + y * 17) % 23);
    return src;
}

std::vector<Vp8u> makePicture() {
    std::vector<Vp8u> src(static_cast<std::size_t>(kSrcW) * 3 * kSrcH);
    for (int y = 0; y < kSrcH; ++y)
        for (int x = 0; x < kSrcW; ++x)
            for (int c = 0; c < 3; ++c)
                src[(static_cast<std::size_t>(y) * kSrcW + x) * 3 + c] =
                    static_cast<Vp8u>(128 + 90 * std::sin(x * 0.03 + c) * std::cos(y * 0.041) + (x + 7 * y) % 11);
    return src;
}

int scaled(int n, double z) { return static_cast<int>(n * z + 1e-7); }

// The two entries of each level.
struct LevelEntries {
    const char* name;
    VpStatus (*plane)(const Vp32f*, VpiSize, int, VpiRect, Vp32f*, int, VpiSize, double, double, int);
    VpStatus (*picture)(const Vp8u*, VpiSize, int, VpiRect, Vp8u*, int, VpiSize, double, double, int);
};
const LevelEntries kLevels[] = {
    {"px", vpiResize_32f_C1R_px, vpiResize_8u_C3R_px},
    {"a6", vpiResize_32f_C1R_a6, vpiResize_8u_C3R_a6},
    {"w7", vpiResize_32f_C1R_w7, vpiResize_8u_C3R_w7},
    {"t7", vpiResize_32f_C1R_t7, vpiResize_8u_C3R_t7},
};

// Argument: the level index.
void BM_ResizePlaneCubic(benchmark::State& state) {
    const LevelEntries& lv = kLevels[state.range(0)];
    state.SetLabel(lv.name);
    const std::vector<float> src = makePlane();
    const double z = 2.5;
    const int dw = scaled(kSrcW, z), dh = scaled(kSrcH, z);
    std::vector<float> dst(static_cast<std::size_t>(dw) * dh);
    for (auto _ : state) {
        const VpStatus status = lv.plane(src.data(), {kSrcW, kSrcH}, kSrcW * 4, {0, 0, kSrcW, kSrcH}, dst.data(),
                                         dw * 4, {dw, dh}, z, z, VPI_INTER_CUBIC);
        if (status != vpStsNoErr) state.SkipWithError("resize failed");
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dw * dh);
}
BENCHMARK(BM_ResizePlaneCubic)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Picture resizes; the arguments are the level index and the zoom in percent.
void pictureResize(benchmark::State& state, int interpolation) {
    const LevelEntries& lv = kLevels[state.range(0)];
    state.SetLabel(lv.name);
    const std::vector<Vp8u> src = makePicture();
    const double z = state.range(1) / 100.0;
    const int dw = scaled(kSrcW, z), dh = scaled(kSrcH, z);
    const int dstStep = (dw * 3 + 31) / 32 * 32;
    std::vector<Vp8u> dst(static_cast<std::size_t>(dstStep) * dh);
    for (auto _ : state) {
        const VpStatus status = lv.picture(src.data(), {kSrcW, kSrcH}, kSrcW * 3, {0, 0, kSrcW, kSrcH}, dst.data(),
                                           dstStep, {dw, dh}, z, z, interpolation);
        if (status != vpStsNoErr) state.SkipWithError("resize failed");
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dw * dh);
}

void BM_ResizePictureCubic(benchmark::State& state) { pictureResize(state, VPI_INTER_CUBIC); }
BENCHMARK(BM_ResizePictureCubic)
    ->ArgsProduct({{0, 1, 2, 3}, {150, 250}})
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureLinear(benchmark::State& state) { pictureResize(state, VPI_INTER_LINEAR); }
BENCHMARK(BM_ResizePictureLinear)
    ->ArgsProduct({{0, 1, 2, 3}, {50, 75, 150, 250}})
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureSuper(benchmark::State& state) { pictureResize(state, VPI_INTER_SUPER); }
BENCHMARK(BM_ResizePictureSuper)->ArgsProduct({{0, 1, 2, 3}, {50, 75}})->Unit(benchmark::kMillisecond);

#ifdef FE_HAVE_OPENCV

void BM_ResizePlaneCubic_OpenCV(benchmark::State& state) {
    cv::setNumThreads(1);
    std::vector<float> data = makePlane();
    const cv::Mat src(kSrcH, kSrcW, CV_32FC1, data.data());
    const double z = 2.5;
    cv::Mat dst(scaled(kSrcH, z), scaled(kSrcW, z), CV_32FC1);
    for (auto _ : state) {
        cv::resize(src, dst, dst.size(), 0, 0, cv::INTER_CUBIC);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dst.rows * dst.cols);
}
BENCHMARK(BM_ResizePlaneCubic_OpenCV)->Unit(benchmark::kMillisecond);

void pictureResizeOpenCV(benchmark::State& state, int interpolation) {
    cv::setNumThreads(1);
    std::vector<Vp8u> data = makePicture();
    const cv::Mat src(kSrcH, kSrcW, CV_8UC3, data.data());
    const double z = state.range(0) / 100.0;
    cv::Mat dst(scaled(kSrcH, z), scaled(kSrcW, z), CV_8UC3);
    for (auto _ : state) {
        cv::resize(src, dst, dst.size(), 0, 0, interpolation);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dst.rows * dst.cols);
}

void BM_ResizePictureCubic_OpenCV(benchmark::State& state) { pictureResizeOpenCV(state, cv::INTER_CUBIC); }
BENCHMARK(BM_ResizePictureCubic_OpenCV)->Arg(150)->Arg(250)->Unit(benchmark::kMillisecond);

void BM_ResizePictureLinear_OpenCV(benchmark::State& state) { pictureResizeOpenCV(state, cv::INTER_LINEAR); }
BENCHMARK(BM_ResizePictureLinear_OpenCV)->Arg(50)->Arg(75)->Arg(150)->Arg(250)->Unit(benchmark::kMillisecond);

void BM_ResizePictureArea_OpenCV(benchmark::State& state) { pictureResizeOpenCV(state, cv::INTER_AREA); }
BENCHMARK(BM_ResizePictureArea_OpenCV)->Arg(50)->Arg(75)->Unit(benchmark::kMillisecond);

#endif  // FE_HAVE_OPENCV

}  // namespace

BENCHMARK_MAIN();
