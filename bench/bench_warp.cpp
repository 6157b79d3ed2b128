// The engine's warp: a 720x576 float plane onto the 1440x1152 grid by a small
// rotation, cubic interpolation, single-threaded, at every processor level;
// beside it the same work by OpenCV when it is installed. The engine warps its
// reference frame and the confidence maps without rotation: the "Scale"
// benchmarks time that case.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "primitives/primitives.h"
#include "primitives/core/dispatch_variants.h"

#ifdef FE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kSrcW = 720, kSrcH = 576, kDstW = 1440, kDstH = 1152;

std::vector<float> makeSource() {
    std::vector<float> src(static_cast<size_t>(kSrcW) * kSrcH);
    for (int y = 0; y < kSrcH; ++y)
        for (int x = 0; x < kSrcW; ++x)
            src[static_cast<size_t>(y) * kSrcW + x] =
                static_cast<float>(128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.037) + (x * 31 + y * 17) % 23);
    return src;
}

// Scale 2 with a rotation of 0.4 degrees about the centre and a sub-pixel
// shift; or the plain scale by 2.
void engineCoeffs(double coeffs[2][3], bool rotated = true) {
    if (!rotated) {
        const double scale[2][3] = {{2.0, 0.0, 0.0}, {0.0, 2.0, 0.0}};
        std::memcpy(coeffs, scale, sizeof scale);
        return;
    }
    const double a = 0.4 * 3.14159265358979323846 / 180, s = 2.0;
    const double c = s * std::cos(a), d = s * std::sin(a);
    const double cx = kSrcW / 2.0, cy = kSrcH / 2.0;
    coeffs[0][0] = c;
    coeffs[0][1] = -d;
    coeffs[0][2] = kDstW / 2.0 - (c * cx - d * cy) + 0.37;
    coeffs[1][0] = d;
    coeffs[1][1] = c;
    coeffs[1][2] = kDstH / 2.0 - (d * cx + c * cy) - 0.21;
}

using WarpEntry = VpStatus (*)(const Vp32f*, VpiSize, int, VpiRect, Vp32f*, int, VpiRect, const double[2][3], int);

// One level's variant of the entry, called directly.
void BM_WarpAffineCubic(benchmark::State& state, WarpEntry warp, bool rotated = true) {
    const std::vector<float> src = makeSource();
    std::vector<float> dst(static_cast<size_t>(kDstW) * kDstH, 0.0f);
    double coeffs[2][3];
    engineCoeffs(coeffs, rotated);
    for (auto _ : state) {
        const VpStatus status = warp(src.data(), {kSrcW, kSrcH}, kSrcW * 4, {0, 0, kSrcW, kSrcH}, dst.data(),
                                     kDstW * 4, {0, 0, kDstW, kDstH}, coeffs, VPI_INTER_CUBIC);
        if (status != vpStsNoErr) state.SkipWithError("warp failed");
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kDstW * kDstH);
}
BENCHMARK_CAPTURE(BM_WarpAffineCubic, px, &vpiWarpAffine_32f_C1R_px)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WarpAffineCubic, a6, &vpiWarpAffine_32f_C1R_a6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WarpAffineCubic, w7, &vpiWarpAffine_32f_C1R_w7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WarpAffineCubic, t7, &vpiWarpAffine_32f_C1R_t7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WarpAffineCubic, Scale_px, &vpiWarpAffine_32f_C1R_px, false)->Unit(benchmark::kMillisecond);

#ifdef FE_HAVE_OPENCV
void BM_WarpAffineCubic_OpenCV(benchmark::State& state, bool rotated) {
    cv::setNumThreads(1);
    std::vector<float> srcData = makeSource();
    const cv::Mat src(kSrcH, kSrcW, CV_32FC1, srcData.data());
    cv::Mat dst(kDstH, kDstW, CV_32FC1, cv::Scalar(0));
    double coeffs[2][3];
    engineCoeffs(coeffs, rotated);
    const cv::Mat m = (cv::Mat_<double>(2, 3) << coeffs[0][0], coeffs[0][1], coeffs[0][2], coeffs[1][0],
                       coeffs[1][1], coeffs[1][2]);
    for (auto _ : state) {
        cv::warpAffine(src, dst, m, dst.size(), cv::INTER_CUBIC, cv::BORDER_TRANSPARENT);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kDstW * kDstH);
}
BENCHMARK_CAPTURE(BM_WarpAffineCubic_OpenCV, rotated, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WarpAffineCubic_OpenCV, Scale, false)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
