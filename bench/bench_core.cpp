// Speed of the pixel primitives at each processor level on a 720x576 plane
// (a PAL frame), beside the same work done by OpenCV when it is available
// (single-threaded).
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "primitives/core/level_routines.h"
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

// Every entry runs at each level (the argument: 0 px, 1 a6, 2 w7, 3 t7),
// calling that level's variant directly.
#define LEVELS(name) \
    (std::array<decltype(&name##_px), 4>{&name##_px, &name##_a6, &name##_w7, &name##_t7})[state.range(0)]
#define LEVEL_BENCHMARK(fn) BENCHMARK(fn)->DenseRange(0, 3)->ArgName("level")

// Float planes: a source, a second source and a destination.
struct FloatPlanes {
    Plane a{kWidth * 4, kHeight, 0}, b{kWidth * 4, kHeight, 0}, d{kWidth * 4, kHeight, 0};
    FloatPlanes() {
        fillFloats(a, 1.0f);
        fillFloats(b, 0.5f);
    }
};

template <typename Body>
void timeBody(benchmark::State& state, int bytesPerPixel, Body body) {
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
    }
    setPixels(state, bytesPerPixel);
}

void BM_Copy_8u_C1R(benchmark::State& state) {
    Plane src(kWidth, kHeight, 1), dst(kWidth, kHeight, 0);
    timeBody(state, 1, [&] { LEVELS(vpiCopy_8u_C1R)(src.data, src.step, dst.data, dst.step, kSize); });
}
LEVEL_BENCHMARK(BM_Copy_8u_C1R);

void BM_Copy_8u_C3R(benchmark::State& state) {
    Plane src(kWidth * 3, kHeight, 1), dst(kWidth * 3, kHeight, 0);
    timeBody(state, 3, [&] { LEVELS(vpiCopy_8u_C3R)(src.data, src.step, dst.data, dst.step, kSize); });
}
LEVEL_BENCHMARK(BM_Copy_8u_C3R);

void BM_Copy_32f_C1R(benchmark::State& state) {
    FloatPlanes p;
    timeBody(state, 4, [&] { LEVELS(vpiCopy_32f_C1R)(p.a.floats(), p.a.step, p.d.floats(), p.d.step, kSize); });
}
LEVEL_BENCHMARK(BM_Copy_32f_C1R);

void BM_CopyReplicateBorder_32s_C1R(benchmark::State& state) {
    Plane src(kWidth * 4, kHeight, 1), dst((kWidth + 16) * 4, kHeight + 16, 0);
    timeBody(state, 4, [&] {
        LEVELS(vpiCopyReplicateBorder_32s_C1R)(reinterpret_cast<const Vp32s*>(src.data), src.step, kSize,
                                               reinterpret_cast<Vp32s*>(dst.data), dst.step,
                                               {kWidth + 16, kHeight + 16}, 8, 8);
    });
}
LEVEL_BENCHMARK(BM_CopyReplicateBorder_32s_C1R);

void BM_Set_32f_C1R(benchmark::State& state) {
    FloatPlanes p;
    timeBody(state, 4, [&] { LEVELS(vpiSet_32f_C1R)(0.5f, p.d.floats(), p.d.step, kSize); });
}
LEVEL_BENCHMARK(BM_Set_32f_C1R);

void BM_Convert_8u32f_C1R(benchmark::State& state) {
    Plane src(kWidth, kHeight, 1);
    FloatPlanes p;
    timeBody(state, 4, [&] { LEVELS(vpiConvert_8u32f_C1R)(src.data, src.step, p.d.floats(), p.d.step, kSize); });
}
LEVEL_BENCHMARK(BM_Convert_8u32f_C1R);

void BM_Convert_32f8u_C1R(benchmark::State& state) {
    Plane dst(kWidth, kHeight, 0);
    FloatPlanes p;
    timeBody(state, 4, [&] {
        LEVELS(vpiConvert_32f8u_C1R)(p.a.floats(), p.a.step, dst.data, dst.step, kSize, vpRndNear);
    });
}
LEVEL_BENCHMARK(BM_Convert_32f8u_C1R);

// The in-place entries of two images: srcDst = srcDst op src.
#define IN_PLACE_BENCHMARK(entry)                                                                                  \
    void BM_##entry(benchmark::State& state) {                                                                     \
        FloatPlanes p;                                                                                             \
        timeBody(state, 4, [&] { LEVELS(vpi##entry)(p.a.floats(), p.a.step, p.b.floats(), p.b.step, kSize); });   \
    }                                                                                                              \
    LEVEL_BENCHMARK(BM_##entry)
IN_PLACE_BENCHMARK(Add_32f_C1IR);
IN_PLACE_BENCHMARK(Sub_32f_C1IR);
IN_PLACE_BENCHMARK(Mul_32f_C1IR);

// x = x op value, in place.
#define CONSTANT_IN_PLACE_BENCHMARK(entry)                                                                         \
    void BM_##entry(benchmark::State& state) {                                                                     \
        FloatPlanes p;                                                                                             \
        timeBody(state, 4, [&] { LEVELS(vpi##entry)(1.0f, p.b.floats(), p.b.step, kSize); });                     \
    }                                                                                                              \
    LEVEL_BENCHMARK(BM_##entry)
CONSTANT_IN_PLACE_BENCHMARK(AddC_32f_C1IR);
CONSTANT_IN_PLACE_BENCHMARK(SubC_32f_C1IR);
CONSTANT_IN_PLACE_BENCHMARK(MulC_32f_C1IR);

// dst = src op value.
#define CONSTANT_BENCHMARK(entry)                                                                                  \
    void BM_##entry(benchmark::State& state) {                                                                     \
        FloatPlanes p;                                                                                             \
        timeBody(state, 4, [&] { LEVELS(vpi##entry)(p.a.floats(), p.a.step, 1.5f, p.d.floats(), p.d.step, kSize); }); \
    }                                                                                                              \
    LEVEL_BENCHMARK(BM_##entry)
CONSTANT_BENCHMARK(SubC_32f_C1R);
CONSTANT_BENCHMARK(MulC_32f_C1R);

// dst = f(src).
#define UNARY_BENCHMARK(entry)                                                                                     \
    void BM_##entry(benchmark::State& state) {                                                                     \
        FloatPlanes p;                                                                                             \
        timeBody(state, 4, [&] { LEVELS(vpi##entry)(p.a.floats(), p.a.step, p.d.floats(), p.d.step, kSize); });   \
    }                                                                                                              \
    LEVEL_BENCHMARK(BM_##entry)
UNARY_BENCHMARK(Abs_32f_C1R);
UNARY_BENCHMARK(Sqr_32f_C1R);

void BM_Sqr_32f_C1IR(benchmark::State& state) {
    FloatPlanes p;
    timeBody(state, 4, [&] { LEVELS(vpiSqr_32f_C1IR)(p.b.floats(), p.b.step, kSize); });
}
LEVEL_BENCHMARK(BM_Sqr_32f_C1IR);

void BM_Sub_32f_C1R(benchmark::State& state) {
    FloatPlanes p;
    timeBody(state, 4, [&] {
        LEVELS(vpiSub_32f_C1R)(p.a.floats(), p.a.step, p.b.floats(), p.b.step, p.d.floats(), p.d.step, kSize);
    });
}
LEVEL_BENCHMARK(BM_Sub_32f_C1R);

void BM_Div_32f_C1IR(benchmark::State& state) {
    FloatPlanes p;
    const int level = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        vpiCopy_32f_C1R_px(p.b.floats(), p.b.step, p.d.floats(), p.d.step, kSize);
        state.ResumeTiming();
        (std::array<decltype(&vpiDiv_32f_C1IR_px), 4>{&vpiDiv_32f_C1IR_px, &vpiDiv_32f_C1IR_a6, &vpiDiv_32f_C1IR_w7,
                                                      &vpiDiv_32f_C1IR_t7})[level](p.a.floats(), p.a.step,
                                                                                   p.d.floats(), p.d.step, kSize);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
LEVEL_BENCHMARK(BM_Div_32f_C1IR);

void BM_Threshold_LT_32f_C1R(benchmark::State& state) {
    FloatPlanes p;
    timeBody(state, 4, [&] {
        LEVELS(vpiThreshold_LT_32f_C1R)(p.a.floats(), p.a.step, p.d.floats(), p.d.step, kSize, 20.0f);
    });
}
LEVEL_BENCHMARK(BM_Threshold_LT_32f_C1R);

void BM_Threshold_LT_32f_C1IR(benchmark::State& state) {
    FloatPlanes p;
    timeBody(state, 4, [&] { LEVELS(vpiThreshold_LT_32f_C1IR)(p.b.floats(), p.b.step, kSize, 20.0f); });
}
LEVEL_BENCHMARK(BM_Threshold_LT_32f_C1IR);

void BM_Threshold_GT_32f_C1IR(benchmark::State& state) {
    FloatPlanes p;
    timeBody(state, 4, [&] { LEVELS(vpiThreshold_GT_32f_C1IR)(p.b.floats(), p.b.step, kSize, 50.0f); });
}
LEVEL_BENCHMARK(BM_Threshold_GT_32f_C1IR);

void BM_CompareC_32f_C1R(benchmark::State& state) {
    FloatPlanes p;
    Plane mask(kWidth, kHeight, 0);
    timeBody(state, 4, [&] {
        LEVELS(vpiCompareC_32f_C1R)(p.a.floats(), p.a.step, 40.0f, mask.data, mask.step, kSize, vpCmpGreater);
    });
}
LEVEL_BENCHMARK(BM_CompareC_32f_C1R);

void BM_Sum_8u_C1R(benchmark::State& state) {
    Plane src(kWidth, kHeight, 1);
    Vp64f sum = 0.0;
    timeBody(state, 1, [&] { LEVELS(vpiSum_8u_C1R)(src.data, src.step, kSize, &sum); });
    benchmark::DoNotOptimize(sum);
}
LEVEL_BENCHMARK(BM_Sum_8u_C1R);

void BM_Sum_32f_C1R(benchmark::State& state) {
    FloatPlanes p;
    Vp64f sum = 0.0;
    timeBody(state, 4, [&] { LEVELS(vpiSum_32f_C1R)(p.a.floats(), p.a.step, kSize, &sum, vpAlgHintFast); });
    benchmark::DoNotOptimize(sum);
}
LEVEL_BENCHMARK(BM_Sum_32f_C1R);

void BM_RGBToYUV_8u_C3P3R(benchmark::State& state) {
    Plane rgb(kWidth * 3, kHeight, 3), y(kWidth, kHeight, 0), u(kWidth, kHeight, 0), v(kWidth, kHeight, 0);
    Vp8u* planes[3] = {y.data, u.data, v.data};
    timeBody(state, 3, [&] { LEVELS(vpiRGBToYUV_8u_C3P3R)(rgb.data, rgb.step, planes, y.step, kSize); });
}
LEVEL_BENCHMARK(BM_RGBToYUV_8u_C3P3R);

void BM_YUVToRGB_8u_P3C3R(benchmark::State& state) {
    Plane rgb(kWidth * 3, kHeight, 0), y(kWidth, kHeight, 5), u(kWidth, kHeight, 60), v(kWidth, kHeight, 120);
    const Vp8u* planes[3] = {y.data, u.data, v.data};
    timeBody(state, 3, [&] { LEVELS(vpiYUVToRGB_8u_P3C3R)(planes, y.step, rgb.data, rgb.step, kSize); });
}
LEVEL_BENCHMARK(BM_YUVToRGB_8u_P3C3R);

// The per-level vector magnitude over the plane's complex samples.
void BM_Magnitude_32fc(benchmark::State& state) {
    std::vector<Vp32fc> src(static_cast<std::size_t>(kWidth) * kHeight);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = {float(i % 97) - 40.0f, float(i % 89) * 0.5f};
    std::vector<Vp32f> dst(src.size());
    timeBody(state, 8, [&] { LEVELS(vpsMagnitude_32fc)(src.data(), dst.data(), static_cast<int>(src.size())); });
}
LEVEL_BENCHMARK(BM_Magnitude_32fc);

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

void BM_OpenCV_Multiply_32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(1.5)), dst(kHeight, kWidth, CV_32FC1, cv::Scalar(0.25));
    for (auto _ : state) {
        cv::multiply(dst, src, dst);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_Multiply_32f);

void BM_OpenCV_SubtractScalar_32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(1.5)), dst(kHeight, kWidth, CV_32FC1);
    for (auto _ : state) {
        cv::subtract(src, cv::Scalar(1.5), dst);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_SubtractScalar_32f);

void BM_OpenCV_Abs_32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(-1.5)), dst(kHeight, kWidth, CV_32FC1);
    for (auto _ : state) {
        dst = cv::abs(src);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_Abs_32f);

void BM_OpenCV_ConvertTo_8u32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_8UC1, cv::Scalar(7)), dst(kHeight, kWidth, CV_32FC1);
    for (auto _ : state) {
        src.convertTo(dst, CV_32F);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_ConvertTo_8u32f);

void BM_OpenCV_ConvertTo_32f8u(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(77.6)), dst(kHeight, kWidth, CV_8UC1);
    for (auto _ : state) {
        src.convertTo(dst, CV_8U);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_ConvertTo_32f8u);

void BM_OpenCV_Threshold_32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(30.0)), dst(kHeight, kWidth, CV_32FC1);
    for (auto _ : state) {
        cv::threshold(src, dst, 50.0, 0.0, cv::THRESH_TRUNC);
        benchmark::ClobberMemory();
    }
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_Threshold_32f);

void BM_OpenCV_Sum_32f(benchmark::State& state) {
    cv::Mat src(kHeight, kWidth, CV_32FC1, cv::Scalar(0.5));
    for (auto _ : state) benchmark::DoNotOptimize(cv::sum(src));
    setPixels(state, 4);
}
BENCHMARK(BM_OpenCV_Sum_32f);

void BM_OpenCV_Magnitude_32f(benchmark::State& state) {
    cv::Mat re(kHeight, kWidth, CV_32FC1, cv::Scalar(3.0)), im(kHeight, kWidth, CV_32FC1, cv::Scalar(4.0)), mag;
    for (auto _ : state) {
        cv::magnitude(re, im, mag);
        benchmark::ClobberMemory();
    }
    setPixels(state, 8);
}
BENCHMARK(BM_OpenCV_Magnitude_32f);

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
