#include "engine/log_gabor.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <tuple>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBorder = 16;      // replicated border around a plane
constexpr int kCore = 68;        // samples of a tile that reach the result
constexpr int kOverlap = 30;     // tile samples on each side of the core
constexpr int kTaperWidth = 16;

// 1 - ((m + 1) / 16)^2, rounded to four decimals.
constexpr float kTaper[kTaperWidth] = {0.9961f, 0.9844f, 0.9648f, 0.9375f, 0.9023f, 0.8594f,
                                       0.8086f, 0.75f,   0.6836f, 0.6094f, 0.5273f, 0.4375f,
                                       0.3398f, 0.2344f, 0.1211f, 0.0f};

struct Gaussian17 {
    float taps[17];
    Gaussian17()
    {
        double sum = 0.0;
        double v[17];
        for (int j = -8; j <= 8; ++j) {
            v[j + 8] = std::exp(-static_cast<double>(j * j) / 32.0);
            sum += v[j + 8];
        }
        for (int i = 0; i < 17; ++i)
            taps[i] = static_cast<float>(v[i] / sum);
    }
};

const Gaussian17& gaussian17()
{
    static const Gaussian17 kernel;
    return kernel;
}

// Float plane to complex samples with imaginary part 0.
void realToComplex(const Vp32f* src, int srcStep, Vp32fc* dst, int dstStep, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const Vp32f* s = reinterpret_cast<const Vp32f*>(reinterpret_cast<const Vp8u*>(src) + static_cast<std::ptrdiff_t>(y) * srcStep);
        Vp32fc* d = reinterpret_cast<Vp32fc*>(reinterpret_cast<Vp8u*>(dst) + static_cast<std::ptrdiff_t>(y) * dstStep);
        for (int x = 0; x < width; ++x) {
            d[x].re = s[x];
            d[x].im = 0.0f;
        }
    }
}

// Complex samples times the real filter value at the same position.
void multiplySpectrum(const Image64f& spectrum, const Image32f& filter, Image64f& out)
{
    for (int y = 0; y < out.height; ++y) {
        const Vp32f* __restrict s = &spectrum.row(y)->re;
        const Vp32f* __restrict f = filter.row(y);
        Vp32f* __restrict d = &out.row(y)->re;
        for (int x = 0; x < out.width; ++x) {
            d[2 * x] = s[2 * x] * f[x];
            d[2 * x + 1] = s[2 * x + 1] * f[x];
        }
    }
}

// |z| as the magnitude primitive forms it: the sum of squares and its root in
// double precision, rounded once to float.
inline Vp32f magnitude(const Vp32f* z)
{
    const double re = z[0];
    const double im = z[1];
    return static_cast<Vp32f>(std::sqrt(re * re + im * im));
}

void taperTileBorder(Image32f& tile)
{
    const int n = tile.width;  // 128 x 128
    for (int m = 0; m < kTaperWidth; ++m) {
        Vp32f* top = tile.row(kTaperWidth - 1 - m);
        Vp32f* bottom = tile.row(n - kTaperWidth + m);
        for (int x = 0; x < n; ++x) {
            top[x] *= kTaper[m];
            bottom[x] *= kTaper[m];
        }
    }
    for (int y = 0; y < n; ++y) {
        Vp32f* r = tile.row(y);
        for (int m = 0; m < kTaperWidth; ++m) {
            r[kTaperWidth - 1 - m] *= kTaper[m];
            r[n - kTaperWidth + m] *= kTaper[m];
        }
    }
}

}  // namespace

void gaussianLowPass17(const Image32f* bordered, Image32f* lowPass, Image32f* intermediate)
{
    const int bw = bordered->width;
    const int bh = bordered->height;
    if (bw <= 16 || bh <= 16 || bordered->data == nullptr)
        return;
    const Vp32f* k = gaussian17().taps;
    // Column pass over every column, so that the row pass near the right edge
    // reads only produced samples.
    vpiFilterColumn_32f_C1R(bordered->row(8), bordered->step, intermediate->row(8), intermediate->step,
                            MakeVpiSize(bw, bh - 16), k, 17, 8);
    vpiFilterRow_32f_C1R(intermediate->at(8, 8), intermediate->step, lowPass->at(8, 8), lowPass->step,
                         MakeVpiSize(bw - 16, bh - 16), k, 17, 8);
}

LogGaborBank::LogGaborBank()
    : tileRows(kTile), tileColumns(kTile), scaleCount(kScales), orientationCount(kOrientations),
      wavelengthStep(2.75), minWavelength(1.25), radialSigmaRatio(0.55), angularSpreadRatio(1.6),
      filterGain(0.8606592649969877), tilesCounted(0), noiseLevels{}, histograms{}, histogramScale(32.0f),
      firstScale(0), thresholdFactors{}, boosts{}, gainFloors{}, gainCeilings{}, orientationWeights{},
      fftSpec(nullptr), fftBuffer(nullptr)
{
    buildFilters();
    histogramScale = 32.0f;
    resetStatistics();
    tileSpatial.allocate(kTile, kTile);
    tileSum.allocate(kTile, kTile);
    tileSpectrum.allocate(kTile, kTile);
    bandSpectrum.allocate(kTile, kTile);
    bandMagnitude.allocate(kTile, kTile);
    bandGain.allocate(kTile, kTile);
    histogramTile.allocate(kTile, kTile);
    vpiFFTInitAlloc_C_32fc(&fftSpec, 7, 7, VP_FFT_DIV_INV_BY_N, vpAlgHintFast);
    // Without its transform the bank would read spectra it never wrote.
    if (fftSpec == nullptr)
        throw MemoryException();
    {
        int bytes = 0;
        vpiFFTGetBufSize_C_32fc(fftSpec, &bytes);
        if (bytes > 0) {
            int step = 0;
            fftBuffer = vpiMalloc_8u_C1(bytes, 1, &step);
            if (fftBuffer == nullptr) {
                vpiFFTFree_C_32fc(fftSpec);
                fftSpec = nullptr;
                throw MemoryException();
            }
        }
    }
    for (int s = 0; s < kScales; ++s) {
        thresholdFactors[s] = 1.0f;
        boosts[s] = 1.2f;
        gainFloors[s] = 0.2f;
        gainCeilings[s] = 1.0f;
    }
    for (int o = 0; o < kOrientations; ++o)
        orientationWeights[o] = 1.0f;
}

LogGaborBank::~LogGaborBank()
{
    if (fftSpec != nullptr)
        vpiFFTFree_C_32fc(fftSpec);
    fftSpec = nullptr;
    if (fftBuffer != nullptr)
        vpiFree(fftBuffer);
    fftBuffer = nullptr;
}

namespace {

// The parameters the filters are made from, compared as one value.
using FilterParameters = std::tuple<int, int, int, int, double, double, double, double, double>;

FilterParameters parametersOf(const LogGaborBank& b)
{
    return {b.tileRows,      b.tileColumns,      b.scaleCount,         b.orientationCount, b.wavelengthStep,
            b.minWavelength, b.radialSigmaRatio, b.angularSpreadRatio, b.filterGain};
}

// The filters of the last bank built, with the parameters they were made
// from. Every engine builds a bank, and every bank the same 32 filters: a
// later bank with the same parameters copies them instead of evaluating
// 16384 x 32 sets of logarithms, exponentials and arc tangents again.
struct FilterCache {
    FilterParameters parameters;
    std::vector<float> values;  // filter after filter, rows without gaps

    bool matches(const LogGaborBank& b) const { return !values.empty() && parameters == parametersOf(b); }
};

FilterCache& filterCache()
{
    static FilterCache cache;
    return cache;
}

// Engines on different threads share the cache; one bank at a time uses it.
std::mutex& filterCacheLock()
{
    static std::mutex lock;
    return lock;
}

}  // namespace

void LogGaborBank::buildFilters()
{
    const std::lock_guard<std::mutex> hold(filterCacheLock());
    FilterCache& cache = filterCache();
    if (cache.matches(*this)) {
        const float* from = cache.values.data();
        for (int i = 0; i < kScales * kOrientations; ++i) {
            filters[i].reallocate(tileColumns, tileRows);
            for (int u = 0; u < tileRows; ++u, from += tileColumns)
                std::memcpy(filters[i].row(u), from, static_cast<std::size_t>(tileColumns) * sizeof(float));
        }
        return;
    }
    computeFilters();
    cache.values.clear();
    cache.values.reserve(static_cast<std::size_t>(kScales * kOrientations) * tileRows * tileColumns);
    for (int i = 0; i < kScales * kOrientations; ++i)
        for (int u = 0; u < tileRows; ++u)
            cache.values.insert(cache.values.end(), filters[i].row(u), filters[i].row(u) + tileColumns);
    cache.parameters = parametersOf(*this);
}

void LogGaborBank::computeFilters()
{
    const double halfRows = tileRows / 2.0;
    const double halfColumns = tileColumns / 2.0;
    const double sigmaAngle = kPi / orientationCount / angularSpreadRatio;
    const double logSigma = std::log(radialSigmaRatio);
    for (int i = 0; i < kScales * kOrientations; ++i)
        filters[i].reallocate(tileColumns, tileRows);
    // The orientation angles' sines and cosines and the scales' wavelengths
    // are the same for every frequency sample: computed once here.
    double cosA[kOrientations], sinA[kOrientations], lambdas[kScales];
    for (int k = 0; k < orientationCount; ++k) {
        const double a = k * kPi / orientationCount;
        cosA[k] = std::cos(a);
        sinA[k] = std::sin(a);
    }
    for (int s = 0; s < scaleCount; ++s)
        lambdas[s] = minWavelength * std::pow(wavelengthStep, s);
    for (int u = 0; u < tileRows; ++u) {
        const int fy = u < tileRows / 2 ? u : u - tileRows;
        for (int v = 0; v < tileColumns; ++v) {
            const int fx = v < tileColumns / 2 ? v : v - tileColumns;
            const double x = fx / halfColumns;
            const double y = fy / halfRows;
            const bool dc = fx == 0 && fy == 0;
            const double r = dc ? 1.0 : std::sqrt(x * x + y * y);
            const double theta = std::atan2(-y, x);
            const double sinT = std::sin(theta);
            const double cosT = std::cos(theta);
            // The radial factor of each scale is the same for every
            // orientation of this sample.
            double radial[kScales];
            for (int s = 0; s < scaleCount; ++s) {
                radial[s] = 0.0;
                if (!dc) {
                    const double l = std::log(r * lambdas[s] / 2.0);
                    radial[s] = std::exp(-(l * l) / (2.0 * logSigma * logSigma));
                }
            }
            for (int k = 0; k < orientationCount; ++k) {
                const double ds = sinT * cosA[k] - cosT * sinA[k];
                const double dcos = cosT * cosA[k] + sinT * sinA[k];
                const double delta = std::fabs(std::atan2(ds, dcos));
                const double spread = std::exp(-(delta * delta) / (2.0 * sigmaAngle * sigmaAngle));
                for (int s = 0; s < scaleCount; ++s)
                    filters[s * kOrientations + k].row(u)[v] = static_cast<float>(radial[s] * spread * filterGain);
            }
        }
    }
}

int LogGaborBank::resetStatistics()
{
    tilesCounted = 0;
    std::memset(histograms, 0, sizeof(histograms));
    for (int s = 0; s < kScales; ++s)
        noiseLevels[s] = 0.0f;
    return 1;
}

void LogGaborBank::setNoiseLevels(const float levels[kScales])
{
    for (int s = 0; s < kScales; ++s)
        noiseLevels[s] = levels[s];
}

void LogGaborBank::ensureWorkPlanes(int w, int h)
{
    const int64_t bw64 = static_cast<int64_t>(w) + 2 * kBorder;
    const int64_t bh64 = static_cast<int64_t>(h) + 2 * kBorder;
    if (bw64 > INT_MAX || bh64 > INT_MAX)
        throw MemoryException();
    const int bw = static_cast<int>(bw64);
    const int bh = static_cast<int>(bh64);
    if (!bordered.sameSize(bw, bh))
        bordered.reallocate(bw, bh);
    if (!lowPass.sameSize(bw, bh)) {
        lowPass.reallocate(bw, bh);
        // The passes leave an 8-sample ring unwritten; it stays defined.
        setImageValue(0.0f, &lowPass);
    }
    if (!highPass.sameSize(bw, bh))
        highPass.reallocate(bw, bh);
    if (!result.sameSize(w, h))
        result.reallocate(w, h);
    planeWidth_ = w;
    planeHeight_ = h;
}

void LogGaborBank::loadPlane(const Image8u* plane)
{
    const int w = plane->width;
    const int h = plane->height;
    vpiConvert_8u32f_C1R(plane->data, plane->step, result.data, result.step, MakeVpiSize(w, h));
    vpiCopyReplicateBorder_32s_C1R(reinterpret_cast<const Vp32s*>(result.data), result.step, MakeVpiSize(w, h),
                                   reinterpret_cast<Vp32s*>(bordered.data), bordered.step, bordered.size(),
                                   kBorder, kBorder);
}

// Sizes the work planes for the plane, loads it with its border and splits it
// into its low-pass and high-pass parts: the work shared by the noise estimate
// and the denoising.
void LogGaborBank::preparePlane(const Image8u* plane)
{
    ensureWorkPlanes(plane->width, plane->height);
    loadPlane(plane);
    gaussianLowPass17(&bordered, &lowPass, &highPass);
    vpiSub_32f_C1R(lowPass.data, lowPass.step, bordered.data, bordered.step, highPass.data, highPass.step,
                   bordered.size());
}

namespace {
bool usablePlane(const Image8u* plane)
{
    return plane != nullptr && plane->data != nullptr && plane->width > 0 && plane->height > 0;
}
}  // namespace

int LogGaborBank::estimateNoise(const Image8u* plane)
{
    if (!usablePlane(plane))
        return 1;
    preparePlane(plane);
    estimateTiles();
    return 1;
}

void LogGaborBank::estimateTiles()
{
    const int w = planeWidth_;
    const int h = planeHeight_;
    int tileW = kTile;
    int tileH = kTile;
    int columns = w / kTile;
    int rows = h / kTile;
    if (columns == 0) {
        tileW = w;
        columns = 1;
    }
    if (rows == 0) {
        tileH = h;
        rows = 1;
    }
    const int rowStride = rows > 4 ? 2 : 1;
    const int columnStride = columns > 4 ? 2 : 1;
    for (int tr = 0; tr < rows; tr += rowStride) {
        for (int tc = 0; tc < columns; tc += columnStride) {
            // A plane smaller than a tile leaves the rest of the transform
            // input at 0.
            if (tileW < kTile || tileH < kTile)
                std::memset(tileSpatial.data, 0, static_cast<std::size_t>(tileSpatial.step) * kTile);
            realToComplex(highPass.at(kBorder + kTile * tc, kBorder + kTile * tr), highPass.step, tileSpatial.data,
                          tileSpatial.step, tileW, tileH);
            accumulateTileHistograms(tileW, tileH);
        }
    }
}

void LogGaborBank::accumulateTileHistograms(int tileWidth, int tileHeight)
{
    vpiFFTFwd_CToC_32fc_C1R(tileSpatial.data, tileSpatial.step, tileSpectrum.data, tileSpectrum.step, fftSpec,
                            fftBuffer);
    const float scale = histogramScale;
    for (int s = 0; s < kScales; ++s) {
        uint32_t* counts = histograms[s];
        for (int o = 0; o < kOrientations; ++o) {
            multiplySpectrum(tileSpectrum, *filter(s, o), bandSpectrum);
            vpiFFTInv_CToC_32fc_C1R(bandSpectrum.data, bandSpectrum.step, tileSpatial.data, tileSpatial.step,
                                    fftSpec, fftBuffer);
            // Magnitude x scale quantised by truncation with saturation, in
            // one pass over the band response.
            for (int y = 0; y < tileHeight; ++y) {
                const Vp32f* __restrict z = &tileSpatial.row(y)->re;
                Vp8u* __restrict q = histogramTile.row(y);
                for (int x = 0; x < tileWidth; ++x) {
                    const float v = magnitude(z + 2 * x) * scale;
                    const int bin = v >= 255.0f ? 255 : (v > 0.0f ? static_cast<int>(v) : 0);
                    q[x] = static_cast<Vp8u>(bin);
                    ++counts[bin];
                }
            }
        }
    }
    ++tilesCounted;
}

int LogGaborBank::finishNoiseEstimate()
{
    if (tilesCounted <= 0)
        return 0;
    uint32_t bound = 0;
    for (int s = 0; s < kScales; ++s) {
        uint64_t total = 0;
        for (int b = 0; b < 256; ++b)
            total += histograms[s][b];
        bound = static_cast<uint32_t>((static_cast<uint64_t>(bound) + total) / 2);
        int q = 255;
        uint64_t cumulative = 0;
        for (int b = 0; b < 256; ++b) {
            cumulative += histograms[s][b];
            if (cumulative >= bound) {
                q = b;
                break;
            }
        }
        int m = 0;
        for (int b = 0; b <= q; ++b)
            if (histograms[s][b] >= histograms[s][m])
                m = b;
        noiseLevels[s] = static_cast<float>(m / 32.0);
    }
    return 1;
}

int LogGaborBank::apply(const Image8u* plane)
{
    if (!usablePlane(plane)) {
        result.reallocate(plane != nullptr ? plane->width : 0, plane != nullptr ? plane->height : 0);
        if (result.data != nullptr)
            setImageValue(0.0f, &result);
        return 1;
    }
    preparePlane(plane);
    filterTiles();
    return 1;
}

void LogGaborBank::filterTiles()
{
    const int w = planeWidth_;
    const int h = planeHeight_;
    const int tilesX = (w + kCore - 1) / kCore;
    const int tilesY = (h + kCore - 1) / kCore;
    for (int ty = 0; ty < tilesY; ++ty) {
        const int y0 = kCore * ty;
        const int coreH = h - y0 < kCore ? h - y0 : kCore;
        const int ya = y0 - kOverlap > 0 ? y0 - kOverlap : 0;
        const int yb = y0 + 97 < h + 1 ? y0 + 97 : h + 1;
        for (int tx = 0; tx < tilesX; ++tx) {
            const int x0 = kCore * tx;
            const int coreW = w - x0 < kCore ? w - x0 : kCore;
            const int xa = x0 - kOverlap > 0 ? x0 - kOverlap : 0;
            const int xb = x0 + 97 < w + 1 ? x0 + 97 : w + 1;
            vpiCopyReplicateBorder_32s_C1R(reinterpret_cast<const Vp32s*>(highPass.at(kBorder + xa, kBorder + ya)),
                                           highPass.step, MakeVpiSize(xb - xa + 1, yb - ya + 1),
                                           reinterpret_cast<Vp32s*>(tileSum.data), tileSum.step, tileSum.size(),
                                           y0 == 0 ? kOverlap : 0, x0 == 0 ? kOverlap : 0);
            taperTileBorder(tileSum);
            realToComplex(tileSum.data, tileSum.step, tileSpatial.data, tileSpatial.step, kTile, kTile);
            // Only the core of the tile reaches the result: the band sums are
            // formed there alone.
            filterTileRegion(kOverlap, kOverlap, coreW, coreH);
            vpiCopy_32f_C1R(tileSum.at(kOverlap, kOverlap), tileSum.step, result.at(x0, y0), result.step,
                            MakeVpiSize(coreW, coreH));
        }
    }
    vpiAdd_32f_C1IR(lowPass.at(kBorder, kBorder), lowPass.step, result.data, result.step, MakeVpiSize(w, h));
}

void LogGaborBank::filterTile() { filterTileRegion(0, 0, kTile, kTile); }

void LogGaborBank::filterTileRegion(int x0, int y0, int width, int height)
{
    vpiFFTFwd_CToC_32fc_C1R(tileSpatial.data, tileSpatial.step, tileSpectrum.data, tileSpectrum.step, fftSpec,
                            fftBuffer);
    vpiSet_32f_C1R(0.0f, tileSum.data, tileSum.step, tileSum.size());
    const int first = firstScale < 0 ? 0 : firstScale;
    for (int s = first; s < kScales; ++s) {
        const float t = static_cast<float>(noiseLevels[s] * thresholdFactors[s]);
        const float floorGain = gainFloors[s];
        for (int o = 0; o < kOrientations; ++o) {
            multiplySpectrum(tileSpectrum, *filter(s, o), bandSpectrum);
            vpiFFTInv_CToC_32fc_C1R(bandSpectrum.data, bandSpectrum.step, tileSpatial.data, tileSpatial.step,
                                    fftSpec, fftBuffer);
            const float b = boosts[s] <= 1.0f ? boosts[s] : 1.0f + (boosts[s] - 1.0f) * orientationWeights[o];
            const float c =
                gainCeilings[s] <= 1.0f ? gainCeilings[s] : 1.0f + (gainCeilings[s] - 1.0f) * orientationWeights[o];
            // One pass over the band response: gain = (|z| - t) * b / |z|,
            // raised to the floor, lowered to the ceiling; a zero magnitude
            // gives the floor. The tile sum gains gain x Re z. The quotient
            // is formed for every sample and chosen afterwards, which keeps
            // the loop free of branches.
            for (int y = y0; y < y0 + height; ++y) {
                const Vp32f* __restrict z = &tileSpatial.at(x0, y)->re;
                Vp32f* __restrict sum = tileSum.at(x0, y);
                for (int x = 0; x < width; ++x) {
                    const float m = magnitude(z + 2 * x);
                    float shrunk = (m - t) * b;
                    shrunk = shrunk / m;
                    shrunk = shrunk < floorGain ? floorGain : shrunk;
                    float gain = m != 0.0f ? shrunk : floorGain;
                    gain = gain > c ? c : gain;
                    sum[x] += gain * z[2 * x];
                }
            }
        }
    }
}
