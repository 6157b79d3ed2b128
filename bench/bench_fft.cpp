// The enhancement engine's FFT tile: a 128 x 128 complex forward transform
// followed by the inverse divided by N, through the dispatched entries and at
// the px level, and the same by the plain row-column method one transform at
// a time. Beside it, when OpenCV is installed, cv::dft on the same data
// (single-threaded), so the ratio is measured in one run. The tile and
// one-dimensional transforms of orders 7, 10 and 16 also run at each
// processor level by its own routines (px, a6, w7, t7; the label names the
// level), beside cv::dft of the same sizes.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "primitives/fft/fft_px.h"
#include "primitives/fft/fft_simd.h"
#include "primitives/primitives.h"

#ifdef FE_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

constexpr int kOrder = 7;
constexpr int kSide = 1 << kOrder;

std::vector<Vp32fc> tile() {
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> dist(0.0f, 255.0f);
    std::vector<Vp32fc> v(kSide * kSide);
    for (auto& p : v) p = {dist(gen), 0.0f};
    return v;
}

// Forward and inverse of the tile through the dispatched entries, either
// into separate buffers or in place.
void tileForwardInverse(benchmark::State& state, bool inPlace) {
    VpiFFTSpec_C_32fc* spec = nullptr;
    if (vpiFFTInitAlloc_C_32fc(&spec, kOrder, kOrder, VP_FFT_DIV_INV_BY_N, vpAlgHintFast) != vpStsNoErr) {
        state.SkipWithError("creation failed");
        return;
    }
    int bufSize = 0;
    vpiFFTGetBufSize_C_32fc(spec, &bufSize);
    std::vector<Vp8u> buf(bufSize);
    std::vector<Vp32fc> src = tile();
    std::vector<Vp32fc> freqStore, backStore;
    if (!inPlace) {
        freqStore.resize(src.size());
        backStore.resize(src.size());
    }
    Vp32fc* freq = inPlace ? src.data() : freqStore.data();
    Vp32fc* back = inPlace ? src.data() : backStore.data();
    const int step = kSide * static_cast<int>(sizeof(Vp32fc));
    for (auto _ : state) {
        vpiFFTFwd_CToC_32fc_C1R(src.data(), step, freq, step, spec, buf.data());
        vpiFFTInv_CToC_32fc_C1R(freq, step, back, step, spec, buf.data());
        benchmark::DoNotOptimize(back);
        benchmark::ClobberMemory();
    }
    vpiFFTFree_C_32fc(spec);
}

void BM_Tile_ForwardInverse(benchmark::State& state) { tileForwardInverse(state, false); }
BENCHMARK(BM_Tile_ForwardInverse);

void BM_Tile_ForwardInverse_InPlace(benchmark::State& state) { tileForwardInverse(state, true); }
BENCHMARK(BM_Tile_ForwardInverse_InPlace);

// One 128-point row, forward and inverse, at the px level.
void BM_Row128_Px(benchmark::State& state) {
    VpsFFTSpec_C_32fc* spec = nullptr;
    if (vpsFFTInitAlloc_C_32fc_px(&spec, kOrder, VP_FFT_DIV_INV_BY_N, vpAlgHintFast) != vpStsNoErr) {
        state.SkipWithError("creation failed");
        return;
    }
    std::vector<Vp32fc> src = tile();
    src.resize(kSide);
    std::vector<Vp32fc> freq(kSide), back(kSide);
    for (auto _ : state) {
        vpsFFTFwd_CToC_32fc_px(&src[0].re, &freq[0].re, spec, nullptr);
        vpsFFTInv_CToC_32fc_px(&freq[0].re, &back[0].re, spec, nullptr);
        benchmark::DoNotOptimize(back.data());
        benchmark::ClobberMemory();
    }
    vpsFFTFree_C_32fc_px(spec);
}
BENCHMARK(BM_Row128_Px);

// The same tile by the plain row-column method, one transform at a time
// through the one-dimensional px entry (each column gathered, transformed and
// scattered): the path the two-dimensional px entries keep the bits of.
void rowColumn(bool forward, const VpiFFTSpec_C_32fc* spec, const Vp32fc* src, Vp32fc* dst, float* column) {
    auto fft1d = [forward, spec](const float* in, float* out) {
        if (forward) {
            vpsFFTFwd_CToC_32fc_px(in, out, spec->pRowSpec, nullptr);
        } else {
            vpsFFTInv_CToC_32fc_px(in, out, spec->pRowSpec, nullptr);
        }
    };
    for (int y = 0; y < kSide; ++y) fft1d(&src[y * kSide].re, &dst[y * kSide].re);
    for (int x = 0; x < kSide; ++x) {
        for (int y = 0; y < kSide; ++y) {
            column[2 * y] = dst[y * kSide + x].re;
            column[2 * y + 1] = dst[y * kSide + x].im;
        }
        fft1d(column, column);
        for (int y = 0; y < kSide; ++y) dst[y * kSide + x] = {column[2 * y], column[2 * y + 1]};
    }
}

void BM_Tile_ForwardInverse_RowByRow_Px(benchmark::State& state) {
    VpiFFTSpec_C_32fc* spec = nullptr;
    if (vpiFFTInitAlloc_C_32fc_px(&spec, kOrder, kOrder, VP_FFT_DIV_INV_BY_N, vpAlgHintFast) != vpStsNoErr) {
        state.SkipWithError("creation failed");
        return;
    }
    const std::vector<Vp32fc> src = tile();
    std::vector<Vp32fc> freq(src.size()), back(src.size());
    std::vector<float> column(2 * kSide);
    for (auto _ : state) {
        rowColumn(true, spec, src.data(), freq.data(), column.data());
        rowColumn(false, spec, freq.data(), back.data(), column.data());
        benchmark::DoNotOptimize(back.data());
        benchmark::ClobberMemory();
    }
    vpiFFTFree_C_32fc_px(spec);
}
BENCHMARK(BM_Tile_ForwardInverse_RowByRow_Px);

// The two-dimensional routines of each level.
struct Level2DRoutines {
    const char* name;
    VpStatus (*init)(VpiFFTSpec_C_32fc**, int, int, int, VpHintAlgorithm);
    VpStatus (*getBufSize)(const VpiFFTSpec_C_32fc*, int*);
    VpStatus (*release)(VpiFFTSpec_C_32fc*);
    VpStatus (*fwd)(const Vp32fc*, int, Vp32fc*, int, const VpiFFTSpec_C_32fc*, Vp8u*);
    VpStatus (*inv)(const Vp32fc*, int, Vp32fc*, int, const VpiFFTSpec_C_32fc*, Vp8u*);
};
const Level2DRoutines kLevels2D[] = {
    {"px", vpiFFTInitAlloc_C_32fc_px, vpiFFTGetBufSize_C_32fc_px, vpiFFTFree_C_32fc_px, vpiFFTFwd_CToC_32fc_C1R_px,
     vpiFFTInv_CToC_32fc_C1R_px},
    {"a6", vpiFFTInitAlloc_C_32fc_a6, vpiFFTGetBufSize_C_32fc_a6, vpiFFTFree_C_32fc_a6, vpiFFTFwd_CToC_32fc_C1R_a6,
     vpiFFTInv_CToC_32fc_C1R_a6},
    {"w7", vpiFFTInitAlloc_C_32fc_w7, vpiFFTGetBufSize_C_32fc_w7, vpiFFTFree_C_32fc_w7, vpiFFTFwd_CToC_32fc_C1R_w7,
     vpiFFTInv_CToC_32fc_C1R_w7},
    {"t7", vpiFFTInitAlloc_C_32fc_t7, vpiFFTGetBufSize_C_32fc_t7, vpiFFTFree_C_32fc_t7, vpiFFTFwd_CToC_32fc_C1R_t7,
     vpiFFTInv_CToC_32fc_C1R_t7},
};

// The engine's tile, forward and inverse into separate buffers, at one level.
void BM_Tile_ForwardInverse_Level(benchmark::State& state) {
    const Level2DRoutines& lv = kLevels2D[state.range(0)];
    state.SetLabel(lv.name);
    VpiFFTSpec_C_32fc* spec = nullptr;
    if (lv.init(&spec, kOrder, kOrder, VP_FFT_DIV_INV_BY_N, vpAlgHintFast) != vpStsNoErr) {
        state.SkipWithError("creation failed");
        return;
    }
    int bufSize = 0;
    lv.getBufSize(spec, &bufSize);
    std::vector<Vp8u> buf(bufSize);
    const std::vector<Vp32fc> src = tile();
    std::vector<Vp32fc> freq(src.size()), back(src.size());
    const int step = kSide * static_cast<int>(sizeof(Vp32fc));
    for (auto _ : state) {
        lv.fwd(src.data(), step, freq.data(), step, spec, buf.data());
        lv.inv(freq.data(), step, back.data(), step, spec, buf.data());
        benchmark::DoNotOptimize(back.data());
        benchmark::ClobberMemory();
    }
    lv.release(spec);
}
BENCHMARK(BM_Tile_ForwardInverse_Level)->DenseRange(0, 3);

// The one-dimensional routines of each level.
struct Level1DRoutines {
    const char* name;
    VpStatus (*init)(VpsFFTSpec_C_32fc**, int, int, VpHintAlgorithm);
    VpStatus (*getBufSize)(const VpsFFTSpec_C_32fc*, int*);
    VpStatus (*release)(VpsFFTSpec_C_32fc*);
    VpStatus (*fwd)(const float*, float*, const VpsFFTSpec_C_32fc*, Vp8u*);
    VpStatus (*inv)(const float*, float*, const VpsFFTSpec_C_32fc*, Vp8u*);
};
const Level1DRoutines kLevels1D[] = {
    {"px", vpsFFTInitAlloc_C_32fc_px, vpsFFTGetBufSize_C_32fc_px, vpsFFTFree_C_32fc_px, vpsFFTFwd_CToC_32fc_px,
     vpsFFTInv_CToC_32fc_px},
    {"a6", vpsFFTInitAlloc_C_32fc_a6, vpsFFTGetBufSize_C_32fc_px, vpsFFTFree_C_32fc_a6, vpsFFTFwd_CToC_32fc_a6,
     vpsFFTInv_CToC_32fc_a6},
    {"w7", vpsFFTInitAlloc_C_32fc_w7, vpsFFTGetBufSize_C_32fc_w7, vpsFFTFree_C_32fc_w7, vpsFFTFwd_CToC_32fc_w7,
     vpsFFTInv_CToC_32fc_w7},
    {"t7", vpsFFTInitAlloc_C_32fc_t7, vpsFFTGetBufSize_C_32fc_w7, vpsFFTFree_C_32fc_t7, vpsFFTFwd_CToC_32fc_t7,
     vpsFFTInv_CToC_32fc_t7},
};

std::vector<float> signal(int order) {
    std::mt19937 gen(2);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(std::size_t{2} << order);
    for (auto& f : v) f = dist(gen);
    return v;
}

// Forward and inverse (divided by N) of one vector of 2^order points, out of
// place with the caller's buffer: arguments order, level.
void BM_1D_ForwardInverse_Level(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    const Level1DRoutines& lv = kLevels1D[state.range(1)];
    state.SetLabel(lv.name);
    VpsFFTSpec_C_32fc* spec = nullptr;
    if (lv.init(&spec, order, VP_FFT_DIV_INV_BY_N, vpAlgHintFast) != vpStsNoErr) {
        state.SkipWithError("creation failed");
        return;
    }
    int bufSize = 0;
    lv.getBufSize(spec, &bufSize);
    std::vector<Vp8u> buf(bufSize + 16);
    const std::vector<float> src = signal(order);
    std::vector<float> freq(src.size()), back(src.size());
    for (auto _ : state) {
        lv.fwd(src.data(), freq.data(), spec, buf.data());
        lv.inv(freq.data(), back.data(), spec, buf.data());
        benchmark::DoNotOptimize(back.data());
        benchmark::ClobberMemory();
    }
    lv.release(spec);
}
BENCHMARK(BM_1D_ForwardInverse_Level)->ArgsProduct({{7, 10, 16}, {0, 1, 2, 3}});

// Creation of the engine's record (tables and the one-dimensional record).
void BM_Tile_Creation(benchmark::State& state) {
    for (auto _ : state) {
        VpiFFTSpec_C_32fc* spec = nullptr;
        vpiFFTInitAlloc_C_32fc(&spec, kOrder, kOrder, VP_FFT_DIV_INV_BY_N, vpAlgHintFast);
        benchmark::DoNotOptimize(spec);
        vpiFFTFree_C_32fc(spec);
    }
}
BENCHMARK(BM_Tile_Creation);

// A large one-dimensional transform (recursive path) at the px level.
void BM_Order20_Px(benchmark::State& state) {
    VpsFFTSpec_C_32fc* spec = nullptr;
    if (vpsFFTInitAlloc_C_32fc_px(&spec, 20, VP_FFT_DIV_INV_BY_N, vpAlgHintFast) != vpStsNoErr) {
        state.SkipWithError("creation failed");
        return;
    }
    int bufSize = 0;
    vpsFFTGetBufSize_C_32fc_px(spec, &bufSize);
    std::vector<Vp8u> buf(bufSize);
    std::vector<float> data(2 << 20, 0.5f);
    for (auto _ : state) {
        vpsFFTFwd_CToC_32fc_px(data.data(), data.data(), spec, buf.data());
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    vpsFFTFree_C_32fc_px(spec);
}
BENCHMARK(BM_Order20_Px)->Unit(benchmark::kMillisecond);

#ifdef FE_HAVE_OPENCV
void BM_Tile_ForwardInverse_OpenCV(benchmark::State& state) {
    cv::setNumThreads(1);
    const std::vector<Vp32fc> data = tile();
    cv::Mat src(kSide, kSide, CV_32FC2, const_cast<Vp32fc*>(data.data()));
    cv::Mat freq, back;
    for (auto _ : state) {
        cv::dft(src, freq, cv::DFT_COMPLEX_OUTPUT);
        cv::dft(freq, back, cv::DFT_INVERSE | cv::DFT_SCALE | cv::DFT_COMPLEX_OUTPUT);
        benchmark::DoNotOptimize(back.data);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Tile_ForwardInverse_OpenCV);

void BM_1D_ForwardInverse_OpenCV(benchmark::State& state) {
    cv::setNumThreads(1);
    const int order = static_cast<int>(state.range(0));
    const std::vector<float> data = signal(order);
    cv::Mat src(1, 1 << order, CV_32FC2, const_cast<float*>(data.data()));
    cv::Mat freq, back;
    for (auto _ : state) {
        cv::dft(src, freq, cv::DFT_COMPLEX_OUTPUT);
        cv::dft(freq, back, cv::DFT_INVERSE | cv::DFT_SCALE | cv::DFT_COMPLEX_OUTPUT);
        benchmark::DoNotOptimize(back.data);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_1D_ForwardInverse_OpenCV)->Arg(7)->Arg(10)->Arg(16);
#endif

}  // namespace

BENCHMARK_MAIN();
