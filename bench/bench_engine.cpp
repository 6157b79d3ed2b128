// The enhancement engine on a 720x576 sequence of 9 frames at 2x: one whole
// run per noise-reduction mode, and each stage of a run on its own
// (denoising, registration, confidence maps, warps onto the grid,
// accumulation, post-filter, composition). Peak memory of the image planes
// is reported as a counter of the whole runs.
//
// BM_Capture times the driver's whole use of the engine (run, post-filters,
// composition) as the first and as the second capture of a process.
//
// Run with --psnr_table to print the PSNR of synthetic runs of 1, 3, 5 and 9
// frames at 1.5x, 2x and 2.5x, with and without noise reduction.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/cold_warm.h"
#include "engine/engine.h"
#include "tests/engine/engine_presets.h"

namespace {

// Live and peak bytes of the aligned allocator's heap blocks.
std::size_t g_live = 0;
std::size_t g_peak = 0;

void* countingAlloc(std::size_t bytes)
{
    auto* p = static_cast<std::size_t*>(std::malloc(bytes + 16));
    if (p == nullptr)
        return nullptr;
    p[0] = bytes;
    g_live += bytes;
    if (g_live > g_peak)
        g_peak = g_live;
    return p + 2;
}

void countingRelease(void* block)
{
    if (block == nullptr)
        return;
    auto* p = static_cast<std::size_t*>(block) - 2;
    g_live -= p[0];
    std::free(p);
}

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr int kFrames = 9;
constexpr double kScale = 2.0;

synthetic::SequenceSpec benchSpec()
{
    synthetic::SequenceSpec s;
    s.width = kWidth;
    s.height = kHeight;
    s.decimation = 2.0;
    s.noiseSigma = 3.0;
    s.seed = 11;
    return s;
}

// The nine frames, rendered once.
const std::vector<std::unique_ptr<Image8uC3>>& frames()
{
    static std::vector<std::unique_ptr<Image8uC3>> f;
    if (f.empty()) {
        const auto spec = benchSpec();
        for (int i = 0; i < kFrames; ++i) {
            f.push_back(std::make_unique<Image8uC3>());
            synthetic::renderFrame(spec, synthetic::runMotion(i, kFrames), 500 + i, f.back().get());
        }
    }
    return f;
}

std::unique_ptr<FrameEnhancer> loadedEngine(int noiseReduction)
{
    auto e = std::make_unique<FrameEnhancer>(kWidth, kHeight, kFrames, 0, kScale);
    for (int i = 0; i < kFrames; ++i)
        e->frameStore->setFrame(i, frames()[static_cast<std::size_t>(i)].get());
    applyNoiseReduction(*e, noiseReduction);
    applyMotionSmooth(*e, 2);
    return e;
}

// Inputs of the per-stage benchmarks: the planes of every frame without
// pre-filter, the motion models and confidence maps of a finished run.
struct StageInputs {
    std::unique_ptr<FrameEnhancer> engine;
    Image32f y[kFrames], u[kFrames], v[kFrames];
    Image8u y8[kFrames];
    MotionModel models[kFrames];
    Image32f confidence[kFrames];
    StageInputs() : engine(loadedEngine(0))
    {
        engine->estimateNoise(kFrames / 2);
        for (int i = 0; i < kFrames; ++i) {
            engine->prefilterPlane(0, engine->frameStore->yPlanes[i].get(), &y[i]);
            engine->prefilterPlane(1, engine->frameStore->uPlanes[i].get(), &u[i]);
            engine->prefilterPlane(1, engine->frameStore->vPlanes[i].get(), &v[i]);
            convertTo8u(&y[i], &y8[i]);
        }
        engine->buildReferencePyramid(&y8[kFrames / 2]);
        for (int i = 0; i < kFrames; ++i) {
            FrameEnhancer::setIdentity(models[i]);
            if (i != kFrames / 2)
                engine->estimateMotion(&y8[i], models[i]);
            Image8u warped;
            Image32f registered;
            engine->warpPlaneByModel(&y8[i], models[i], &warped);
            convertTo32f(&warped, &registered);
            confidence[i].allocate(kWidth, kHeight);
            engine->computeWeightMap(&y[kFrames / 2], &registered, &confidence[i]);
        }
    }
};

StageInputs& inputs()
{
    static StageInputs s;
    return s;
}

const char* kModeNames[4] = {"none", "low", "med", "high"};

void BM_WholeRun(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    frames();
    std::size_t peak = 0;
    for (auto _ : state) {
        g_peak = g_live;
        const std::size_t base = g_live;
        auto e = loadedEngine(mode);
        e->estimateNoise(kFrames / 2);
        e->run();
        benchmark::DoNotOptimize(e->accumY->data);
        peak = g_peak - base;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["planes_peak_MB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
    state.counters["process_maxrss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.SetLabel(kModeNames[mode]);
}
BENCHMARK(BM_WholeRun)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

// One capture as the driver makes it: the engine built, filled, estimated and
// run, then the three post-filters (pixel ratio 1.067) prepared from its
// planes and the picture composed with the crop of a 2x capture.
void captureOnce(int mode)
{
    Image8uC3 picture;
    auto y = std::make_unique<PlanePostFilter>(2, 1.0f, 1.067, 1.0);
    auto u = std::make_unique<PlanePostFilter>(4, 2.0f, 1.067, 1.0);
    auto v = std::make_unique<PlanePostFilter>(4, 2.0f, 1.067, 1.0);
    {
        auto e = loadedEngine(mode);
        e->estimateNoise(kFrames / 2);
        e->run();
        y->amount = 3.0f;
        u->amount = v->amount = 4.5f;
        Image32f scratch;
        y->prepare(e->accumY.get(), &scratch);
        u->prepare(e->accumU.get(), &scratch);
        v->prepare(e->accumV.get(), &scratch);
    }
    Image32f py, pu, pv;
    y->render(&py);
    u->render(&pu);
    v->render(&pv);
    OutputSettings s;
    s.crop = VpiRect{6, 6, y->width - 12, y->height - 12};
    composeOutputImage(&s, &py, &pu, &pv, &picture);
    benchmark::DoNotOptimize(picture.data);
}

// Cold: the first capture of a process; warm: the second (see cold_warm.h).
void BM_Capture(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    frames();
    coldwarm::measure(state, "BM_Capture", [mode] { captureOnce(mode); });
    state.SetLabel(kModeNames[mode]);
}
BENCHMARK(BM_Capture)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// Denoising: the noise estimate of the reference and the pre-filter of the
// 27 planes of the run.
void BM_StageDenoise(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    auto e = loadedEngine(mode);
    Image32f out;
    for (auto _ : state) {
        e->estimateNoise(kFrames / 2);
        for (int i = 0; i < kFrames; ++i) {
            e->prefilterPlane(0, e->frameStore->yPlanes[i].get(), &out);
            e->prefilterPlane(1, e->frameStore->uPlanes[i].get(), &out);
            e->prefilterPlane(1, e->frameStore->vPlanes[i].get(), &out);
        }
    }
    state.SetLabel(kModeNames[mode]);
}
BENCHMARK(BM_StageDenoise)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

// Registration: the reference pyramid, then per other frame its pyramid, the
// motion estimate and the 8-bit warp of its luma.
void BM_StageRegistration(benchmark::State& state)
{
    StageInputs& in = inputs();
    for (auto _ : state) {
        in.engine->buildReferencePyramid(&in.y8[kFrames / 2]);
        for (int i = 0; i < kFrames; ++i) {
            if (i == kFrames / 2)
                continue;
            MotionModel m;
            Image8u warped;
            if (in.engine->estimateMotion(&in.y8[i], m))
                in.engine->warpPlaneByModel(&in.y8[i], m, &warped);
        }
    }
}
BENCHMARK(BM_StageRegistration)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_StageConfidence(benchmark::State& state)
{
    StageInputs& in = inputs();
    Image32f c;
    c.allocate(kWidth, kHeight);
    for (auto _ : state)
        for (int i = 0; i < kFrames; ++i)
            if (i != kFrames / 2)
                in.engine->computeWeightMap(&in.y[kFrames / 2], &in.y[i], &c);
}
BENCHMARK(BM_StageConfidence)->Unit(benchmark::kMillisecond);

// Warps onto the 1440x1152 grid: three reference planes, then four planes
// (Y, U, V, confidence) of each other frame.
void BM_StageWarps(benchmark::State& state)
{
    StageInputs& in = inputs();
    Image32f grid;
    grid.allocate(static_cast<int>(kScale * kWidth), static_cast<int>(kScale * kHeight));
    MotionModel identity;
    FrameEnhancer::setIdentity(identity);
    for (auto _ : state)
        for (int i = 0; i < kFrames; ++i) {
            FrameEnhancer::warpToOutputGrid(kScale, in.models[i], &in.y[i], &grid);
            FrameEnhancer::warpToOutputGrid(kScale, in.models[i], &in.u[i], &grid);
            FrameEnhancer::warpToOutputGrid(kScale, in.models[i], &in.v[i], &grid);
            if (i != kFrames / 2)
                FrameEnhancer::warpToOutputGrid(kScale, identity, &in.confidence[i], &grid);
        }
}
BENCHMARK(BM_StageWarps)->Unit(benchmark::kMillisecond);

// Accumulation: eight weighted additions into the sums and the final
// divisions by the weight sum.
void BM_StageAccumulation(benchmark::State& state)
{
    const int w = static_cast<int>(kScale * kWidth);
    const int h = static_cast<int>(kScale * kHeight);
    Image32f planes[4], sums[4];
    for (int k = 0; k < 4; ++k) {
        planes[k].allocate(w, h);
        sums[k].allocate(w, h);
        setImageValue(k == 3 ? 0.7f : 100.0f + k, &planes[k]);
    }
    for (auto _ : state) {
        for (int k = 0; k < 4; ++k)
            setImageValue(k == 3 ? 1.0f : 0.0f, &sums[k]);
        for (int i = 0; i < kFrames - 1; ++i)
            FrameEnhancer::accumulateWeighted(&planes[0], &planes[1], &planes[2], &planes[3], &sums[0], &sums[1],
                                              &sums[2], &sums[3]);
        for (int k = 0; k < 3; ++k)
            vpiDiv_32f_C1IR(sums[3].data, sums[3].step, sums[k].data, sums[k].step, sums[3].size());
    }
}
BENCHMARK(BM_StageAccumulation)->Unit(benchmark::kMillisecond);

// Post-filters of the three 1440x1152 result planes with the pixel ratio of
// 720x576 video (1.067), prepared and rendered once each.
struct ResultPlanes {
    std::unique_ptr<FrameEnhancer> engine;
    ResultPlanes() : engine(loadedEngine(0))
    {
        engine->estimateNoise(kFrames / 2);
        engine->run();
    }
};
ResultPlanes& results()
{
    static ResultPlanes r;
    return r;
}

void BM_StagePostFilter(benchmark::State& state)
{
    ResultPlanes& r = results();
    Image32f scratch;
    for (auto _ : state) {
        PlanePostFilter y(2, 1.0f, 1.067, 1.0), u(4, 2.0f, 1.067, 1.0), v(4, 2.0f, 1.067, 1.0);
        y.amount = 3.0f;
        u.amount = v.amount = 4.5f;
        y.prepare(r.engine->accumY.get(), &scratch);
        u.prepare(r.engine->accumU.get(), &scratch);
        v.prepare(r.engine->accumV.get(), &scratch);
    }
}
BENCHMARK(BM_StagePostFilter)->Unit(benchmark::kMillisecond);

void BM_StageComposition(benchmark::State& state)
{
    ResultPlanes& r = results();
    Image32f y, u, v;
    PlanePostFilter fy(2, 1.0f, 1.067, 1.0), fu(4, 2.0f, 1.067, 1.0), fv(4, 2.0f, 1.067, 1.0);
    fy.prepare(r.engine->accumY.get(), &y);
    fu.prepare(r.engine->accumU.get(), &u);
    fv.prepare(r.engine->accumV.get(), &v);
    OutputSettings s;
    s.crop = VpiRect{6, 6, fy.width - 12, fy.height - 12};
    Image8uC3 picture;
    for (auto _ : state) {
        fy.render(&y);
        fu.render(&u);
        fv.render(&v);
        composeOutputImage(&s, &y, &u, &v, &picture);
    }
}
BENCHMARK(BM_StageComposition)->Unit(benchmark::kMillisecond);

// PSNR of the luma result against the truth, over the picture less the
// capture's crop border, for synthetic runs decimated by the enlargement.
void printPsnrTable()
{
    const double scales[3] = {1.5, 2.0, 2.5};
    const int counts[4] = {1, 3, 5, 9};
    std::printf("PSNR (dB) of the luma result against the ground truth; 144x120 frames decimated by the\n"
                "enlargement, noise sigma 3, motion smooth med\n");
    std::printf("%-6s %-6s %8s %8s %8s %8s\n", "scale", "noise", "1", "3", "5", "9");
    for (double scale : scales)
        for (int mode : {0, 1, 2, 3}) {
            std::printf("%-6.1f %-6s", scale, kModeNames[mode]);
            for (int n : counts) {
                synthetic::SequenceSpec spec;
                spec.width = 144;
                spec.height = 120;
                spec.decimation = scale;
                spec.noiseSigma = 3.0;
                spec.seed = 3;
                presets::RunOptions o;
                o.frames = n;
                o.scale = scale;
                o.noiseReduction = mode;
                auto e = presets::runMoving(spec, o);
                const auto truth = synthetic::renderTruth(spec, scale, e->accumY->width, e->accumY->height);
                std::printf(" %8.2f", synthetic::psnr(*e->accumY, truth, static_cast<int>(6 * scale)));
            }
            std::printf("\n");
        }
}

}  // namespace

int main(int argc, char** argv)
{
    vpSetHeapHooks(countingAlloc, countingRelease);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--psnr_table") == 0) {
            printPsnrTable();
            return 0;
        }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
