// Gaussian image pyramid: level chains, the sampled Gaussian smoothing with
// its module-level kernel cache, the Burt-Adelson reduce step, the 3x3 (5x5,
// 7x7) derivative kernels, and small array helpers.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "registration/registration_core.h"

namespace {

GaussianKernelCache g_cache;
bool g_cacheFilled = false;

// Derivative kernel table (size x size floats, scaled by 1/divisor).
float g_derivativeKernel[49];

constexpr int16_t kDerivative3[9] = {-1, -2, -1, 0, 0, 0, 1, 2, 1};
constexpr int16_t kDerivative5[25] = {
    135,  -15,  -65,  -15,  135,  -188, -263, -288, -263, -188, 0,    0,   0,
    0,    0,    188,  263,  288,  263,  188,  -135, 15,   65,   15,   -135};
constexpr int16_t kDerivative7[49] = {
    1115, 380,   -61,   -208,  -61,   380,   1115,  -610,  -1100, -1394, -1492, -1394, -1100,
    -610, -711,  -956,  -1103, -1152, -1103, -956,  -711,  0,     0,     0,     0,     0,
    0,    0,     711,   956,   1103,  1152,  1103,  956,   711,   610,   1100,  1394,  1492,
    1394, 1100,  610,   -1115, -380,  61,    208,   61,    -380,  -1115};

// Largest half width of a smoothing kernel: far beyond any useful variance,
// it only bounds the tap search for absurd ones.
constexpr int kMaxHalfWidth = 1024;

size_t levelSamples(const LevelImage& level) {
    return size_t(int64_t(level.rows) * int64_t(level.columns));
}

bool validLevel(const LevelImage& level) {
    return level.data != nullptr && level.rows > 0 && level.columns > 0;
}

bool sameSize(const LevelImage& a, const LevelImage& b) {
    return a.rows == b.rows && a.columns == b.columns;
}

template <typename T>
bool allocateLevels(LevelImage chain[], int rows, int columns, int& n) {
    if (rows < 2 || columns < 2) {
        n = -1;
        return false;
    }
    if (n < 0 || n >= kMaxPyramidLevels) return false;
    int r = rows;
    int c = columns;
    for (int level = 0; level <= n; ++level) {
        if (level > 0 && (r < 2 || c < 2)) {
            n = level - 1;
            return true;
        }
        void* data = regCalloc(size_t(int64_t(r) * int64_t(c)), sizeof(T));
        if (data == nullptr) {
            freeLevels(chain, level);
            return false;
        }
        chain[level].data = data;
        chain[level].rows = r;
        chain[level].columns = c;
        r /= 2;
        c /= 2;
    }
    return true;
}

// Multiplies line[i] and line[count-1-i] by 1/mass[i] for i < h (the kernel
// mass missing beyond the edge of the line is given back).
template <typename Mass>
void correctBorders(float* line, int count, const Mass* mass, int h) {
    for (int i = 0; i < h && i < count; ++i) {
        line[i] = float(line[i] * (1.0 / double(mass[i])));
        line[count - 1 - i] = float(line[count - 1 - i] * (1.0 / double(mass[i])));
    }
}

using SymmetricFir = void (*)(const float*, float*, int, const float*);

// One output of a symmetric filter over the rows in[0..Taps-1] at column x,
// in the order of the symmetricFir routines.
template <int Taps>
inline float symmetricColumnOf(const float* const* in, int x, const float* t) {
    constexpr int h = Taps / 2;
    double sum = 0.0;
    for (int j = 0; j < h; ++j)
        sum += (double(in[j][x]) + double(in[Taps - 1 - j][x])) * double(t[j]);
    sum += double(in[h][x]) * double(t[h]);
    return float(sum);
}

// out[x] := the symmetric filter over the rows in[0..Taps-1] at column x, for
// every column: one loop over the columns that the compiler can vectorize.
template <int Taps>
void symmetricColumnsOf(const float* const* in, float* out, int count, const float* t) {
    for (int x = 0; x < count; ++x) out[x] = symmetricColumnOf<Taps>(in, x, t);
}

// The same for 3, 5 or 7 taps.
void symmetricColumns(const float* const* in, float* out, int count, int taps, const float* t) {
    if (taps == 3) symmetricColumnsOf<3>(in, out, count, t);
    else if (taps == 5) symmetricColumnsOf<5>(in, out, count, t);
    else symmetricColumnsOf<7>(in, out, count, t);
}

}  // namespace

GaussianKernelCache& gaussianKernelCache() { return g_cache; }
bool gaussianKernelCacheFilled() { return g_cacheFilled; }

// ---------------------------------------------------------------------------
// Array helpers

void doublesToFloats(const double* doubles, float* floats, int n) {
    for (int i = 0; i < n; ++i) floats[i] = float(doubles[i]);
}
void shortsToFloats(const int16_t* shorts, float* floats, int n) {
    for (int i = 0; i < n; ++i) floats[i] = float(shorts[i]);
}
void bytesToShorts(const uint8_t* bytes, int16_t* shorts, int n) {
    for (int i = 0; i < n; ++i) shorts[i] = int16_t(bytes[i]);
}
void gatherShortsToFloats(const int16_t* shorts, int srcStride, float* floats, int dstStride,
                          int n) {
    for (int i = 0; i < n; ++i)
        floats[int64_t(i) * dstStride] = float(shorts[int64_t(i) * srcStride]);
}
void gatherStrided32(const int32_t* source, int srcStride, int32_t* destination, int dstStride,
                     int n) {
    for (int i = 0; i < n; ++i) destination[int64_t(i) * dstStride] = source[int64_t(i) * srcStride];
}
void fillInts(int32_t* values, int n, int32_t value) {
    for (int i = 0; i < n; ++i) values[i] = value;
}
void fillStrided(int32_t* values, int stride, int n, int32_t value) {
    for (int i = 0; i < n; ++i) values[int64_t(i) * stride] = value;
}
void fillDoubles(double* values, int n, double value) {
    for (int i = 0; i < n; ++i) values[i] = value;
}
void addFloats(float* p, const float* q, int n) {
    for (int i = 0; i < n; ++i) p[i] += q[i];
}
void subtractFloats(float* p, const float* q, int n) {
    for (int i = 0; i < n; ++i) p[i] -= q[i];
}
void addFloatsStrided(float* p, int stride, const float* q, int stride2, int n) {
    for (int i = 0; i < n; ++i) p[int64_t(i) * stride] += q[int64_t(i) * stride2];
}
void subtractFloatsStrided(float* p, int stride, const float* q, int stride2, int n) {
    for (int i = 0; i < n; ++i) p[int64_t(i) * stride] -= q[int64_t(i) * stride2];
}
void scaleFloats(float* p, int n, float x) {
    for (int i = 0; i < n; ++i) p[i] *= x;
}
void freePair(void*& first, void*& second) {
    regFree(first);
    regFree(second);
    first = nullptr;
    second = nullptr;
}

// ---------------------------------------------------------------------------
// Symmetric filters: output[i] from input[i .. i+taps-1], sums in double.

void symmetricFir3(const float* in, float* out, int count, const float* t) {
    for (int i = 0; i < count; ++i)
        out[i] = float((double(in[i]) + double(in[i + 2])) * double(t[0]) +
                       double(in[i + 1]) * double(t[1]));
}

void symmetricFir5(const float* in, float* out, int count, const float* t) {
    for (int i = 0; i < count; ++i)
        out[i] = float((double(in[i]) + double(in[i + 4])) * double(t[0]) +
                       (double(in[i + 1]) + double(in[i + 3])) * double(t[1]) +
                       double(in[i + 2]) * double(t[2]));
}

void symmetricFir7(const float* in, float* out, int count, const float* t) {
    for (int i = 0; i < count; ++i)
        out[i] = float((double(in[i]) + double(in[i + 6])) * double(t[0]) +
                       (double(in[i + 1]) + double(in[i + 5])) * double(t[1]) +
                       (double(in[i + 2]) + double(in[i + 4])) * double(t[2]) +
                       double(in[i + 3]) * double(t[3]));
}

// ---------------------------------------------------------------------------
// Level chains

bool allocateLevels16(LevelImage chain[], int rows, int columns, int& n) {
    return allocateLevels<int16_t>(chain, rows, columns, n);
}

bool allocateLevels32f(LevelImage chain[], int rows, int columns, int& n) {
    return allocateLevels<float>(chain, rows, columns, n);
}

void freeLevels(LevelImage chain[], int n) {
    if (n > kMaxPyramidLevels) n = kMaxPyramidLevels;
    for (int i = 0; i < n; ++i) {
        regFree(chain[i].data);
        chain[i].data = nullptr;
    }
}

void subsampleLevel(const LevelImage& source, LevelImage& destination) {
    if (!validLevel(source) || !validLevel(destination)) return;
    if (int64_t(destination.rows) * 2 - 1 > source.rows ||
        int64_t(destination.columns) * 2 - 1 > source.columns)
        return;
    const int16_t* s = source.s16();
    int16_t* d = destination.s16();
    for (int r = 0; r < destination.rows; ++r)
        for (int c = 0; c < destination.columns; ++c)
            d[int64_t(r) * destination.columns + c] =
                s[int64_t(2 * r) * source.columns + 2 * c];
}

// ---------------------------------------------------------------------------
// Smoothing kernel

bool buildGaussianKernel(GaussianKernelCache& cache, double v) {
    const bool isModuleCache = &cache == &g_cache;
    const bool filled = isModuleCache ? g_cacheFilled : cache.valid != 0;
    if (filled && cache.variance == v) return true;
    cache.valid = 0;
    if (isModuleCache) g_cacheFilled = false;
    cache.variance = v;
    // A variance that is not a positive finite number has no kernel.
    if (!(v > 0.0) || !std::isfinite(v)) return false;

    int h = 0;
    while (h < kMaxHalfWidth) {
        const double j = h + 1;
        if (std::exp(-j * j / (2.0 * v)) <= 0.05) break;
        ++h;
    }
    // No tap beside the centre (a variance too small), or a kernel too wide
    // to be meant: refuse instead of building a kernel without border masses.
    if (h == 0 || h >= kMaxHalfWidth) return false;

    const int tapCount = 2 * h + 1;
    double* taps = static_cast<double*>(regMalloc(sizeof(double) * size_t(tapCount)));
    double* mass = static_cast<double*>(regMalloc(sizeof(double) * size_t(h)));
    if (taps == nullptr || mass == nullptr) {
        regFree(taps);
        regFree(mass);
        return false;
    }
    double sum = 1.0;
    for (int j = 1; j <= h; ++j) sum += 2.0 * std::exp(-double(j) * j / (2.0 * v));
    taps[h] = 1.0 / sum;
    for (int j = 1; j <= h; ++j) {
        const double g = std::exp(-double(j) * j / (2.0 * v));
        taps[h - j] = taps[h + j] = g / sum;
    }
    mass[0] = (taps[h] + 1.0) * 0.5;
    for (int i = 1; i < h; ++i) mass[i] = mass[i - 1] + taps[h + i];

    regFree(cache.taps);
    regFree(cache.borderMass);
    cache.taps = taps;
    cache.borderMass = mass;
    cache.tapCount = tapCount;
    cache.halfWidth = h;
    cache.valid = 1;
    if (isModuleCache) g_cacheFilled = true;
    return true;
}

void releaseKernelCache() {
    regFree(g_cache.taps);
    regFree(g_cache.borderMass);
    g_cache.taps = nullptr;
    g_cache.borderMass = nullptr;
    g_cache.valid = 0;
    g_cacheFilled = false;
}

bool gaussianSmooth(const LevelImage& source, LevelImage& destination, double variance) {
    if (!validLevel(source) || !validLevel(destination) || !sameSize(source, destination))
        return false;
    if (!buildGaussianKernel(g_cache, variance)) return false;
    const int tapCount = g_cache.tapCount;
    const int h = g_cache.halfWidth;
    SymmetricFir fir = nullptr;
    if (tapCount == 3) fir = symmetricFir3;
    else if (tapCount == 5) fir = symmetricFir5;
    else if (tapCount == 7) fir = symmetricFir7;
    else return false;
    float taps[7];
    doublesToFloats(g_cache.taps, taps, tapCount);
    const double* mass = g_cache.borderMass;

    const int rows = source.rows;
    const int columns = source.columns;
    const size_t lineLength = size_t(rows > columns ? rows : columns) + size_t(tapCount);
    float* image = static_cast<float*>(regMalloc(sizeof(float) * levelSamples(source)));
    float* line = static_cast<float*>(regCalloc(lineLength, sizeof(float)));
    float* zeroRow = static_cast<float*>(regCalloc(size_t(columns), sizeof(float)));
    if (image == nullptr || line == nullptr || zeroRow == nullptr) {
        regFree(image);
        regFree(line);
        regFree(zeroRow);
        return false;
    }

    // Rows: zero beyond the ends, border masses restore the lost weight.
    const int16_t* src = source.s16();
    for (int y = 0; y < rows; ++y) {
        shortsToFloats(src + int64_t(y) * columns, line + h, columns);
        float* out = image + int64_t(y) * columns;
        fir(line, out, columns, taps);
        correctBorders(out, columns, mass, h);
    }

    // Columns, computed a row at a time (the same sums as a column filter).
    int16_t* dst = destination.s16();
    const float* in[7];
    float* value = line;  // one output row
    for (int y = 0; y < rows; ++y) {
        for (int k = 0; k < tapCount; ++k) {
            const int r = y - h + k;
            in[k] = (r < 0 || r >= rows) ? zeroRow : image + int64_t(r) * columns;
        }
        symmetricColumns(in, value, columns, tapCount, taps);
        for (int i = 0; i < h && i < rows; ++i) {
            const double f = 1.0 / mass[i];
            if (y == i)
                for (int x = 0; x < columns; ++x) value[x] = float(value[x] * f);
            if (y == rows - 1 - i)
                for (int x = 0; x < columns; ++x) value[x] = float(value[x] * f);
        }
        int16_t* d = dst + int64_t(y) * columns;
        for (int x = 0; x < columns; ++x) d[x] = int16_t(std::trunc(value[x] + 0.5f));
    }

    regFree(image);
    regFree(line);
    regFree(zeroRow);
    return true;
}

// ---------------------------------------------------------------------------
// Reduce

bool reduceLevel(const LevelImage& source, LevelImage& destination, double aIn) {
    if (!validLevel(source) || !validLevel(destination)) return false;
    const int rows = source.rows;
    const int columns = source.columns;
    const int outRows = destination.rows;
    const int outColumns = destination.columns;
    if (outRows != rows / 2 || outColumns != columns / 2) return false;
    const float a = aIn == 0.0 ? 0.4f : float(aIn);
    const float taps[5] = {0.25f - a / 2, 0.25f, a, 0.25f, 0.25f - a / 2};
    const float m0 = a * 0.5f + 0.5f;
    const float mass[2] = {m0, m0 + 0.25f};

    // Only the even source columns are needed by the column pass: the row
    // pass keeps those (rows x outColumns).
    const size_t lineLength = size_t(rows > columns ? rows : columns) + 5;
    float* image = static_cast<float*>(
        regMalloc(sizeof(float) * size_t(int64_t(rows) * int64_t(outColumns))));
    float* line = static_cast<float*>(regCalloc(lineLength, sizeof(float)));
    float* filtered = static_cast<float*>(regMalloc(sizeof(float) * lineLength));
    float* zeroRow = static_cast<float*>(regCalloc(size_t(outColumns), sizeof(float)));
    if (image == nullptr || line == nullptr || filtered == nullptr || zeroRow == nullptr) {
        regFree(image);
        regFree(line);
        regFree(filtered);
        regFree(zeroRow);
        return false;
    }

    const int16_t* src = source.s16();
    for (int y = 0; y < rows; ++y) {
        shortsToFloats(src + int64_t(y) * columns, line + 2, columns);
        symmetricFir5(line, filtered, columns, taps);
        correctBorders(filtered, columns, mass, 2);
        float* out = image + int64_t(y) * outColumns;
        for (int c = 0; c < outColumns; ++c) out[c] = filtered[2 * c];
    }

    int16_t* dst = destination.s16();
    const float* in[5];
    for (int r = 0; r < outRows; ++r) {
        const int y = 2 * r;
        for (int k = 0; k < 5; ++k) {
            const int sr = y - 2 + k;
            in[k] = (sr < 0 || sr >= rows) ? zeroRow : image + int64_t(sr) * outColumns;
        }
        int16_t* d = dst + int64_t(r) * outColumns;
        symmetricColumnsOf<5>(in, filtered, outColumns, taps);
        for (int c = 0; c < outColumns; ++c) {
            float v = filtered[c];
            for (int i = 0; i < 2 && i < rows; ++i) {
                if (y == i) v = float(v * (1.0 / double(mass[i])));
                if (y == rows - 1 - i) v = float(v * (1.0 / double(mass[i])));
            }
            d[c] = int16_t(std::trunc(v + 0.5f));
        }
    }

    regFree(image);
    regFree(line);
    regFree(filtered);
    regFree(zeroRow);
    return true;
}

bool reducePyramid(LevelImage chain[], int& count, double a, bool allocate) {
    if (count >= kMaxPyramidLevels) count = kMaxPyramidLevels - 1;
    if (allocate && count > 0) {
        int n = count - 1;
        if (!allocateLevels16(chain + 1, chain[0].rows / 2, chain[0].columns / 2, n)) return false;
        count = n + 1;
    }
    for (int i = 1; i <= count; ++i) {
        if (!reduceLevel(chain[i - 1], chain[i], a)) {
            count = i - 1;
            break;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Derivatives

const float* loadDerivativeKernel(int size) {
    const int16_t* k = nullptr;
    float divisor = 0.0f;
    if (size == 3) { k = kDerivative3; divisor = 8.0f; }
    else if (size == 5) { k = kDerivative5; divisor = 1680.0f; }
    else if (size == 7) { k = kDerivative7; divisor = 28224.0f; }
    else return nullptr;
    const float scale = 1.0f / divisor;
    for (int i = 0; i < size * size; ++i) g_derivativeKernel[i] = float(k[i]) * scale;
    return g_derivativeKernel;
}

namespace {

// Shared body of the two derivative directions. alongColumns: the derivative
// along x (kernel rows act on columns). Row-major evaluation of
//   D = sum_j (F_j(before) - F_j(after)),
// F_j the one-dimensional symmetric filter with kernel row j across the other
// direction, contributions accumulated in source order.
// The kernel size is a constant so that the loops over the columns vectorize.
template <int size>
bool gradientPlaneOf(const LevelImage& level, LevelImage& destination, const float* kernel,
                     bool alongColumns) {
    constexpr int half = size / 2;
    const int R = level.rows;
    const int C = level.columns;
    if (C < half || R < half) return false;
    float* dst = destination.f32();
    std::memset(dst, 0, sizeof(float) * levelSamples(level));
    if (R < size || C < size) return true;  // no interior sample

    float* rowsBuffer = static_cast<float*>(regMalloc(sizeof(float) * size_t(size) * size_t(C)));
    float* filtered = static_cast<float*>(regMalloc(sizeof(float) * size_t(half) * size_t(C)));
    if (rowsBuffer == nullptr || filtered == nullptr) {
        regFree(rowsBuffer);
        regFree(filtered);
        return false;
    }
    const int16_t* src = level.s16();
    const float* in[7];

    for (int y = half; y < R - half; ++y) {
        if (alongColumns) {
            // F_j at row y for every column: vertical filter with kernel row j.
            for (int k = 0; k < size; ++k) {
                float* rowF = rowsBuffer + int64_t(k) * C;
                shortsToFloats(src + int64_t(y - half + k) * C, rowF, C);
                in[k] = rowF;
            }
            for (int j = 0; j < half; ++j) {
                float* f = filtered + int64_t(j) * C;
                symmetricColumnsOf<size>(in, f, C, kernel + j * size);
            }
            float* d = dst + int64_t(y) * C;
            for (int x = half; x < C - half; ++x) {
                float acc = 0.0f;
                for (int j = 0; j < half; ++j) acc += filtered[int64_t(j) * C + x - half + j];
                for (int j = half - 1; j >= 0; --j) acc -= filtered[int64_t(j) * C + x + half - j];
                d[x] = acc;
            }
        } else {
            // Horizontal filters of the source rows around y.
            float* d = dst + int64_t(y) * C;
            for (int k = 0; k < size; ++k) {
                float* rowF = rowsBuffer + int64_t(k) * C;
                shortsToFloats(src + int64_t(y - half + k) * C, rowF, C);
            }
            // Source row y-half+j (add, j ascending), then y+half-j (subtract,
            // j descending): ascending source order.
            for (int x = half; x < C - half; ++x) {
                float acc = 0.0f;
                for (int j = 0; j < half; ++j) {
                    const float* rowF = rowsBuffer + int64_t(j) * C + x - half;
                    const float* t = kernel + j * size;
                    double sum = 0.0;
                    for (int k = 0; k < half; ++k)
                        sum += (double(rowF[k]) + double(rowF[size - 1 - k])) * double(t[k]);
                    sum += double(rowF[half]) * double(t[half]);
                    acc += float(sum);
                }
                for (int j = half - 1; j >= 0; --j) {
                    const float* rowF = rowsBuffer + int64_t(size - 1 - j) * C + x - half;
                    const float* t = kernel + j * size;
                    double sum = 0.0;
                    for (int k = 0; k < half; ++k)
                        sum += (double(rowF[k]) + double(rowF[size - 1 - k])) * double(t[k]);
                    sum += double(rowF[half]) * double(t[half]);
                    acc -= float(sum);
                }
                d[x] = acc;
            }
        }
    }
    regFree(rowsBuffer);
    regFree(filtered);
    return true;
}

bool gradientPlane(const LevelImage& level, LevelImage& destination, const float* kernel,
                   int size, bool alongColumns) {
    if (!validLevel(level) || !validLevel(destination) || !sameSize(level, destination) ||
        kernel == nullptr || (size != 3 && size != 5 && size != 7))
        return false;
    if (size == 3) return gradientPlaneOf<3>(level, destination, kernel, alongColumns);
    if (size == 5) return gradientPlaneOf<5>(level, destination, kernel, alongColumns);
    return gradientPlaneOf<7>(level, destination, kernel, alongColumns);
}

}  // namespace

bool gradientColumns(const LevelImage& level, LevelImage& destination, const float* kernel,
                     int size) {
    return gradientPlane(level, destination, kernel, size, true);
}

bool gradientRows(const LevelImage& level, LevelImage& destination, const float* kernel,
                  int size) {
    return gradientPlane(level, destination, kernel, size, false);
}

bool computeGradients(const LevelImage& level, LevelImage& gradientX, LevelImage& gradientY,
                      int size) {
    const float* kernel = loadDerivativeKernel(size);
    if (kernel == nullptr) return false;
    if (!gradientColumns(level, gradientX, kernel, size)) return false;
    return gradientRows(level, gradientY, kernel, size);
}

// ---------------------------------------------------------------------------
// Pyramid build

bool buildPyramidLevels(LevelImage smoothed[], LevelImage gradientX[], LevelImage gradientY[],
                        ImagePyramid& pyramid, double variance, double a, int gradientSize,
                        bool withDerivatives, bool allocate) {
    int count = pyramid.usedLevels - 1;
    if (count < 0 || count >= kMaxPyramidLevels) return false;
    if (!gaussianSmooth(smoothed[0], smoothed[0], variance)) return false;
    if (!reducePyramid(smoothed, count, a, allocate)) return false;
    if (withDerivatives) {
        if (allocate) {
            int n = count;
            if (!allocateLevels32f(gradientX, smoothed[0].rows, smoothed[0].columns, n))
                return false;
            n = count;
            if (!allocateLevels32f(gradientY, smoothed[0].rows, smoothed[0].columns, n)) {
                freeLevels(gradientX, count + 1);
                return false;
            }
        }
        for (int i = 0; i < pyramid.usedLevels; ++i) {
            if (!computeGradients(smoothed[i], gradientX[i], gradientY[i], gradientSize)) {
                if (i == 0) return false;
                count = i - 1;
                break;
            }
        }
    }
    pyramid.usedLevels = count + 1;
    return true;
}

// ---------------------------------------------------------------------------
// ImagePyramid

ImagePyramid::ImagePyramid() : usedLevels(0), rows(0), columns(0), allocated(0) {}

ImagePyramid::~ImagePyramid() { release(); }

int ImagePyramid::allocate(int rowsIn, int columnsIn, int levels) {
    if (levels >= kMaxPyramidLevels) {
        char text[32];
        std::snprintf(text, sizeof text, "CMall %d \n", kMaxPyramidLevels);
        MotionEstimator::log(text);
        return -3;
    }
    if (allocated) {
        MotionEstimator::log("CMall\n");
        return -4;
    }
    rows = rowsIn;
    columns = columnsIn;
    usedLevels = levels;
    int n16 = levels - 1;
    int nx = levels - 1;
    int ny = levels - 1;
    bool ok = allocateLevels16(smoothed, rowsIn, columnsIn, n16);
    if (ok) {
        ok = allocateLevels32f(gradientX, rowsIn, columnsIn, nx);
        if (!ok) freeLevels(smoothed, n16 + 1);
    }
    if (ok) {
        ok = allocateLevels32f(gradientY, rowsIn, columnsIn, ny);
        if (!ok) {
            freeLevels(smoothed, n16 + 1);
            freeLevels(gradientX, nx + 1);
        }
    }
    if (!ok) {
        usedLevels = 0;
        rows = 0;
        columns = 0;
        return -5;
    }
    usedLevels = n16 + 1;
    allocatedLevels_ = usedLevels;
    allocated = 1;
    return 0;
}

int ImagePyramid::build(const uint8_t* bytes) {
    if (!allocated) {
        MotionEstimator::log("CMBui");
        return -1;
    }
    if (bytes == nullptr) return -6;
    for (int y = 0; y < rows; ++y)
        bytesToShorts(bytes + int64_t(y) * columns, smoothed[0].s16() + int64_t(y) * columns,
                      columns);
    if (!buildPyramidLevels(smoothed, gradientX, gradientY, *this, 1.0, 0.4, 3, true, false))
        return -6;
    return 0;
}

void ImagePyramid::release() {
    if (!allocated) return;
    freeLevels(smoothed, allocatedLevels_);
    freeLevels(gradientX, allocatedLevels_);
    freeLevels(gradientY, allocatedLevels_);
    allocatedLevels_ = 0;
    usedLevels = 0;
    rows = 0;
    columns = 0;
    allocated = 0;
}

int ImagePyramid::levelCount() const { return usedLevels; }

int ImagePyramid::levelRows(int& out, int level) const {
    out = 0;
    if (!allocated) return -1;
    if (level >= usedLevels || level < 0) return -2;
    out = smoothed[level].rows;
    return 0;
}

int ImagePyramid::levelColumns(int& out, int level) const {
    out = 0;
    if (!allocated) return -1;
    if (level >= usedLevels || level < 0) return -2;
    out = smoothed[level].columns;
    return 0;
}
