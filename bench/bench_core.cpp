// Speed of the px pixel primitives on a 720x576 plane (a PAL frame), beside
// the same work done by OpenCV when it is available (single-threaded).
#include <benchmark/benchmark.h>

#include <vector>

#include "primitives/primitives.h"

#ifdef FE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr VpiSize kSize{kWidth, kHeight};

// A 32-byte aligned plane from the primitives' allocator.
struct Plane {
    Vp8u* data = nullptr;
    int step = 0;
    Plane(int rowBytes, int rows, int fill) {
        data = vpiMalloc_8u_C1(rowBytes, rows, &step);
        for (int i = 0; i < step * rows; ++i) data[i] = static_cast<Vp8u>(fill + i * 7);
    }
    ~Plane() { vpiFree(data); }
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;
    Vp32f* floats() { return reinterpret_cast<Vp32f*>(data); }
};

void fillFloats(Plane& p, float base) {
    for (int y = 0; y < kHeight; ++y) {
        Vp32f* row = reinterpret_cast<Vp32f*>(p.data + static_cast<std::ptrdiff_t>(y) * p.step);
        for (int x = 0; x < kWidth; ++x) row[x] = base + 0.25f * ((x * 31 + y * 17) % 400);
    }
}

void setPixels(benchmark::State& state, int bytesPerPixel) {
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight * bytesPerPixel);
}

void BM_Copy_8u_C1R(benchmark::State& state) {
    Plane src(kWidth, kHeight, 1), dst(kWidth, kHeight, 0);
    for (auto _ : state) {
        vpiCopy_8u_C1R(src.data, src.step, dst.data, dst.step, kSize);
        benchmark::ClobberMemory();
    }
    setPixels(state, 1);
}
BENCHMARK(BM_Copy_8u_C1R);

void BM_Copy_32f_C1R(benchmark::State& state) {
    Plane src(kWidth * 4, kHeight, 1), dst(kWidth * 4, kHeight, 0);
    for (auto _ : state) {
        vpiCopy_32f_C1R(src.floats(), src.step, dst.floats(), dst.step, kSize);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_Copy_32f_C1R);

void BM_Add_32f_C1IR(benchmark::State& state) {
    Plane src(kWidth * 4, kHeight, 0), dst(kWidth * 4, kHeight, 0);
    fillFloats(src, 1.0f);
    fillFloats(dst, 0.0f);
    for (auto _ : state) {
        vpiAdd_32f_C1IR(src.floats(), src.step, dst.floats(), dst.step, kSize);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_Add_32f_C1IR);

void BM_Div_32f_C1IR(benchmark::State& state) {
    Plane divisor(kWidth * 4, kHeight, 0), dividend(kWidth * 4, kHeight, 0), work(kWidth * 4, kHeight, 0);
    fillFloats(divisor, 0.5f);
    fillFloats(dividend, 3.0f);
    for (auto _ : state) {
        state.PauseTiming();
        vpiCopy_32f_C1R(dividend.floats(), dividend.step, work.floats(), work.step, kSize);
        state.ResumeTiming();
        vpiDiv_32f_C1IR(divisor.floats(), divisor.step, work.floats(), work.step, kSize);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_Div_32f_C1IR);

void BM_RGBToYUV_8u_C3P3R(benchmark::State& state) {
    Plane rgb(kWidth * 3, kHeight, 3), y(kWidth, kHeight, 0), u(kWidth, kHeight, 0), v(kWidth, kHeight, 0);
    Vp8u* planes[3] = {y.data, u.data, v.data};
    for (auto _ : state) {
        vpiRGBToYUV_8u_C3P3R(rgb.data, rgb.step, planes, y.step, kSize);
        benchmark::ClobberMemory();
    }
    setPixels(state, 3);
}
BENCHMARK(BM_RGBToYUV_8u_C3P3R);

void BM_YUVToRGB_8u_P3C3R(benchmark::State& state) {
    Plane rgb(kWidth * 3, kHeight, 0), y(kWidth, kHeight, 5), u(kWidth, kHeight, 60), v(kWidth, kHeight, 120);
    const Vp8u* planes[3] = {y.data, u.data, v.data};
    for (auto _ : state) {
        vpiYUVToRGB_8u_P3C3R(planes, y.step, rgb.data, rgb.step, kSize);
        benchmark::ClobberMemory();
    }
    setPixels(state, 3);
}
BENCHMARK(BM_YUVToRGB_8u_P3C3R);

#ifdef FE_HAVE_OPENCV

struct SingleThreaded {
    SingleThreaded() { cv::setNumThreads(1); }
} singleThreaded;

void BM_OpenCV_Copy_8u(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_8UC1, cv::Scalar(1)), dst(kHeight, kWidth, CV_8UC1);
    for (auto _ : state) {
        src.copyTo(dst);
        benchmark::ClobberMemory();
    }
    setPixels(state, 1);
}
BENCHMARK(BM_OpenCV_Copy_8u);

void BM_OpenCV_Copy_32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(1)), dst(kHeight, kWidth, CV_32FC1);
    for (auto _ : state) {
        src.copyTo(dst);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_Copy_32f);

void BM_OpenCV_Add_32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(1.5)), dst(kHeight, kWidth, CV_32FC1, cv::Scalar(0.25));
    for (auto _ : state) {
        cv::add(dst, src, dst);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_Add_32f);

void BM_OpenCV_Divide_32f(benchmark::State& state) {
    cv::Mat divisor(kHeight, kWidth, CV_32FC1, cv::Scalar(0.5)), dividend(kHeight, kWidth, CV_32FC1, cv::Scalar(3.0)),
        work(kHeight, kWidth, CV_32FC1);
    for (auto _ : state) {
        state.PauseTiming();
        dividend.copyTo(work);
        state.ResumeTiming();
        cv::divide(work, divisor, work);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_Divide_32f);

void BM_OpenCV_RGBToYUV(benchmark::State& state) {
    cv::Mat rgb(kHeight, kWidth, CV_8UC3, cv::Scalar(10, 120, 240)), yuv(kHeight, kWidth, CV_8UC3);
    std::vector<cv::Mat> planes(3);
    for (auto _ : state) {
        cv::cvtColor(rgb, yuv, cv::COLOR_RGB2YUV);
        cv::split(yuv, planes);  // planar output, as the primitive writes it
        benchmark::ClobberMemory();
    }
    setPixels(state, 3);
}
BENCHMARK(BM_OpenCV_RGBToYUV);

void BM_OpenCV_YUVToRGB(benchmark::State& state) {
    std::vector<cv::Mat> planes = {cv::Mat(kHeight, kWidth, CV_8UC1, cv::Scalar(5)),
                                   cv::Mat(kHeight, kWidth, CV_8UC1, cv::Scalar(60)),
                                   cv::Mat(kHeight, kWidth, CV_8UC1, cv::Scalar(120))};
    cv::Mat yuv, rgb(kHeight, kWidth, CV_8UC3);
    for (auto _ : state) {
        cv::merge(planes, yuv);  // planar input, as the primitive reads it
        cv::cvtColor(yuv, rgb, cv::COLOR_YUV2RGB);
        benchmark::ClobberMemory();
    }
    setPixels(state, 3);
}
BENCHMARK(BM_OpenCV_YUVToRGB);

#endif

}  // namespace

BENCHMARK_MAIN();
