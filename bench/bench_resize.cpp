// The engine's and the display's resizes at every processor level (px, a6, w7,
// t7; the label names the level), single-threaded: a 720x576 float plane to 2.5x
// cubic, 24-bit pictures cubic and linear (engine and display zooms above 1,
// display zoom below 1), and area averaging. The *Capture cases are the calls of
// a 2x capture of a 720x576 video with its pixel ratio of 1.067: the post-filter
// planes and the composed picture stretched by 1.067 horizontally (cubic), and
// that picture fitted into a 1000x750 display area (linear). Beside them the
// same work by OpenCV when it is installed. Every case reports the minimum of
// its repetitions beside mean and median.
#include <benchmark/benchmark.h>

#include <algorithm>
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

std::vector<float> makePlane(int w = kSrcW, int h = kSrcH) {
    std::vector<float> src(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src[static_cast<std::size_t>(y) * w + x] =
                static_cast<float>(128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.037) + (x * 31 + y * 17) % 23);
    return src;
}

std::vector<Vp8u> makePicture(int w = kSrcW, int h = kSrcH) {
    std::vector<Vp8u> src(static_cast<std::size_t>(w) * 3 * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                src[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
                    static_cast<Vp8u>(128 + 90 * std::sin(x * 0.03 + c) * std::cos(y * 0.041) + (x + 7 * y) % 11);
    return src;
}

int scaled(int n, double z) { return static_cast<int>(n * z + 1e-7); }

// The capture's shapes: 2x grid of a 720x576 frame, pixel ratio 1.067, and the
// zoom that fits the stretched picture into a 1000x750 display area.
constexpr int kGridW = 1440, kGridH = 1152;
constexpr double kPixelRatio = 1.067;
const int kStretchedW = scaled(kGridW, kPixelRatio);
const double kDisplayZoom = std::min(1000.0 / kStretchedW, 750.0 / kGridH);

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

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
void planeResize(benchmark::State& state, int w, int h, double zx, double zy) {
    const LevelEntries& lv = kLevels[state.range(0)];
    state.SetLabel(lv.name);
    const std::vector<float> src = makePlane(w, h);
    const int dw = scaled(w, zx), dh = scaled(h, zy);
    std::vector<float> dst(static_cast<std::size_t>(dw) * dh);
    for (auto _ : state) {
        const VpStatus status = lv.plane(src.data(), {w, h}, w * 4, {0, 0, w, h}, dst.data(), dw * 4, {dw, dh}, zx,
                                         zy, VPI_INTER_CUBIC);
        if (status != vpStsNoErr) state.SkipWithError("resize failed");
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dw * dh);
}

void BM_ResizePlaneCubic(benchmark::State& state) { planeResize(state, kSrcW, kSrcH, 2.5, 2.5); }
BENCHMARK(BM_ResizePlaneCubic)->DenseRange(0, 3)->ComputeStatistics("min", minimum)->Unit(benchmark::kMillisecond);

void BM_ResizePlaneCubicCapture(benchmark::State& state) { planeResize(state, kGridW, kGridH, kPixelRatio, 1.0); }
BENCHMARK(BM_ResizePlaneCubicCapture)
    ->DenseRange(0, 3)
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

// Picture resizes; the arguments are the level index and, for the 720x576
// source, the zoom in percent.
void pictureResize(benchmark::State& state, int interpolation, int w, int h, double zx, double zy) {
    const LevelEntries& lv = kLevels[state.range(0)];
    state.SetLabel(lv.name);
    const std::vector<Vp8u> src = makePicture(w, h);
    const int dw = scaled(w, zx), dh = scaled(h, zy);
    const int dstStep = (dw * 3 + 31) / 32 * 32;
    std::vector<Vp8u> dst(static_cast<std::size_t>(dstStep) * dh);
    for (auto _ : state) {
        const VpStatus status = lv.picture(src.data(), {w, h}, w * 3, {0, 0, w, h}, dst.data(), dstStep, {dw, dh},
                                           zx, zy, interpolation);
        if (status != vpStsNoErr) state.SkipWithError("resize failed");
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dw * dh);
}

void zoomedPicture(benchmark::State& state, int interpolation) {
    const double z = state.range(1) / 100.0;
    pictureResize(state, interpolation, kSrcW, kSrcH, z, z);
}

void BM_ResizePictureCubic(benchmark::State& state) { zoomedPicture(state, VPI_INTER_CUBIC); }
BENCHMARK(BM_ResizePictureCubic)
    ->ArgsProduct({{0, 1, 2, 3}, {150, 250}})
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureLinear(benchmark::State& state) { zoomedPicture(state, VPI_INTER_LINEAR); }
BENCHMARK(BM_ResizePictureLinear)
    ->ArgsProduct({{0, 1, 2, 3}, {50, 75, 150, 250}})
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureSuper(benchmark::State& state) { zoomedPicture(state, VPI_INTER_SUPER); }
BENCHMARK(BM_ResizePictureSuper)
    ->ArgsProduct({{0, 1, 2, 3}, {50, 75}})
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureCubicCapture(benchmark::State& state) {
    pictureResize(state, VPI_INTER_CUBIC, kGridW, kGridH, kPixelRatio, 1.0);
}
BENCHMARK(BM_ResizePictureCubicCapture)
    ->DenseRange(0, 3)
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureLinearDisplay(benchmark::State& state) {
    pictureResize(state, VPI_INTER_LINEAR, kStretchedW, kGridH, kDisplayZoom, kDisplayZoom);
}
BENCHMARK(BM_ResizePictureLinearDisplay)
    ->DenseRange(0, 3)
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

#ifdef FE_HAVE_OPENCV

// OpenCV resizes to the same destination sizes.
void resizeOpenCV(benchmark::State& state, const cv::Mat& src, double zx, double zy, int interpolation) {
    cv::setNumThreads(1);
    cv::Mat dst(scaled(src.rows, zy), scaled(src.cols, zx), src.type());
    for (auto _ : state) {
        cv::resize(src, dst, dst.size(), 0, 0, interpolation);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * dst.rows * dst.cols);
}

void planeResizeOpenCV(benchmark::State& state, int w, int h, double zx, double zy) {
    std::vector<float> data = makePlane(w, h);
    resizeOpenCV(state, cv::Mat(h, w, CV_32FC1, data.data()), zx, zy, cv::INTER_CUBIC);
}

void BM_ResizePlaneCubic_OpenCV(benchmark::State& state) { planeResizeOpenCV(state, kSrcW, kSrcH, 2.5, 2.5); }
BENCHMARK(BM_ResizePlaneCubic_OpenCV)->ComputeStatistics("min", minimum)->Unit(benchmark::kMillisecond);

void BM_ResizePlaneCubicCapture_OpenCV(benchmark::State& state) {
    planeResizeOpenCV(state, kGridW, kGridH, kPixelRatio, 1.0);
}
BENCHMARK(BM_ResizePlaneCubicCapture_OpenCV)->ComputeStatistics("min", minimum)->Unit(benchmark::kMillisecond);

void pictureResizeOpenCV(benchmark::State& state, int interpolation, int w, int h, double zx, double zy) {
    std::vector<Vp8u> data = makePicture(w, h);
    resizeOpenCV(state, cv::Mat(h, w, CV_8UC3, data.data()), zx, zy, interpolation);
}

void zoomedPictureOpenCV(benchmark::State& state, int interpolation) {
    const double z = state.range(0) / 100.0;
    pictureResizeOpenCV(state, interpolation, kSrcW, kSrcH, z, z);
}

void BM_ResizePictureCubic_OpenCV(benchmark::State& state) { zoomedPictureOpenCV(state, cv::INTER_CUBIC); }
BENCHMARK(BM_ResizePictureCubic_OpenCV)
    ->Arg(150)
    ->Arg(250)
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureLinear_OpenCV(benchmark::State& state) { zoomedPictureOpenCV(state, cv::INTER_LINEAR); }
BENCHMARK(BM_ResizePictureLinear_OpenCV)
    ->Arg(50)
    ->Arg(75)
    ->Arg(150)
    ->Arg(250)
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureArea_OpenCV(benchmark::State& state) { zoomedPictureOpenCV(state, cv::INTER_AREA); }
BENCHMARK(BM_ResizePictureArea_OpenCV)
    ->Arg(50)
    ->Arg(75)
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

void BM_ResizePictureCubicCapture_OpenCV(benchmark::State& state) {
    pictureResizeOpenCV(state, cv::INTER_CUBIC, kGridW, kGridH, kPixelRatio, 1.0);
}
BENCHMARK(BM_ResizePictureCubicCapture_OpenCV)->ComputeStatistics("min", minimum)->Unit(benchmark::kMillisecond);

void BM_ResizePictureLinearDisplay_OpenCV(benchmark::State& state) {
    pictureResizeOpenCV(state, cv::INTER_LINEAR, kStretchedW, kGridH, kDisplayZoom, kDisplayZoom);
}
BENCHMARK(BM_ResizePictureLinearDisplay_OpenCV)->ComputeStatistics("min", minimum)->Unit(benchmark::kMillisecond);

#endif  // FE_HAVE_OPENCV

}  // namespace

BENCHMARK_MAIN();
