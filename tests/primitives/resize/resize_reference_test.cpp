// The whole px resize path against a value-by-value transcription of its
// arithmetic: positions accumulated per column and row, the edge rules of the
// tables, and the linear and cubic formulas evaluated directly for every
// destination value without tables, rings or blocks. Destination widths 1 to 40
// exercise every remainder of the blocked passes.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <utility>
#include <vector>

#include "primitives/resize/resize.h"
#include "primitives/resize/resize_px.h"
#include "tests/primitives/resize/resize_test_util.h"

namespace {

using resize_test::Image;

const double kThird = static_cast<double>(std::bit_cast<float>(std::uint32_t{0x3EAAAAABu}));

// Source positions of one axis, relative to the region.
std::vector<double> positions(int roi, double factor, int count) {
    const double scaled = roi * factor;
    const double step = scaled > 1.0 ? (roi - 1) * (1.0 / (scaled - 1.0)) : 0.0;
    std::vector<double> pos(count);
    double p = 0.0;
    for (int i = 0; i < count; ++i) {
        pos[i] = p;
        p += step;
    }
    return pos;
}

struct Sample {
    int base;  // absolute index
    float t;   // cubic offset, or linear weight of base + 1 as a float
    int w;     // linear Q14 weight of base + 1
};

Sample cubicSample(double pos, int roiStart, int extent) {
    int r = static_cast<int>(pos + 1e-7);
    const int abs = r + roiStart;
    double t;
    if (abs == extent - 1) {
        t = 2.0;
        r -= 2;
    } else if (abs == 0) {
        r += 1;
        t = pos - r;
    } else if (abs == extent - 2) {
        r -= 1;
        t = pos - r;
    } else {
        t = pos - r;
    }
    return {r + roiStart, static_cast<float>(t), 0};
}

Sample linearSample(double pos, int roiStart, int extent) {
    int r = static_cast<int>(pos + 1e-7);
    if (r == extent - 1 - roiStart) return {r - 1 + roiStart, 1.0f, 16384};
    return {r + roiStart, static_cast<float>(pos - r), static_cast<int>((pos - r) * 16384.0 + 1e-7)};
}

double cubicH(double t, double a, double b, double c, double d) {
    const double p = 1.0 + t, m = (p * t) * 0.5, n = ((t - 1.0) * m) * kThird;
    const double d1 = b - a, d2 = (c - b) - d1, d3 = ((b - (c + c)) + d) - d2;
    return ((a + n * d3) + m * d2) + p * d1;
}

double cubicV(double t, double a, double b, double c, double d) {
    const double p = 1.0 + t, m = (p * t) * 0.5;
    const double n = static_cast<float>(((t - 1.0) * m) * kThird);
    const double d1 = b - a, d2 = (c - b) - d1, d3 = (((d - c) - c) + b) - d2;
    return ((a + n * d3) + m * d2) + p * d1;
}

Vp8u to8u(double v) {
    const double x = v + 1e-7;
    if (x < 0.0) return 0;
    if (x >= 255.0) return 255;
    return static_cast<Vp8u>(static_cast<int>(x));
}

// Reference value of channel ch of destination pixel (j, i).
template <class T>
T referenceValue(const Image<T>& src, int interpolation, const Sample& sx, const Sample& sy,
                 int ch) {
    auto at = [&](int x, int y) -> double { return src.at(x, y, ch); };
    if (interpolation == VPI_INTER_CUBIC) {
        float rows[4];
        for (int k = 0; k < 4; ++k) {
            const int y = sy.base - 1 + k;
            rows[k] = static_cast<float>(
                cubicH(sx.t, at(sx.base - 1, y), at(sx.base, y), at(sx.base + 1, y), at(sx.base + 2, y)));
        }
        const double v = cubicV(sy.t, rows[0], rows[1], rows[2], rows[3]);
        if constexpr (std::is_same_v<T, Vp8u>) {
            return to8u(v);
        } else {
            return static_cast<float>(v);
        }
    }
    if constexpr (std::is_same_v<T, Vp8u>) {
        int h[2];
        for (int k = 0; k < 2; ++k) {
            const int y = sy.base + k;
            h[k] = (src.at(sx.base, y, ch) * (16384 - sx.w) + src.at(sx.base + 1, y, ch) * sx.w + 128) >> 8;
        }
        return static_cast<Vp8u>(((16384 - sy.w) * h[0] + sy.w * h[1] + 524288) >> 20);
    } else {
        float h[2];
        for (int k = 0; k < 2; ++k) {
            const int y = sy.base + k;
            const double s0 = at(sx.base, y), s1 = at(sx.base + 1, y);
            h[k] = static_cast<float>(s0 + (s1 - s0) * static_cast<double>(sx.t));
        }
        const double a = sy.t;
        return static_cast<float>(h[1] * a + h[0] * (1.0 - a));
    }
}

// The source of a check: its size, region and sample values.
struct Shape {
    int width, height;
    VpiRect roi;
    bool nonFinite;  // float samples sprinkled with NaN, infinities, -0 and extreme magnitudes
};

template <class T>
Image<T> makeSource(int channels, const Shape& shape) {
    Image<T> src(shape.width, shape.height, channels, 3 * static_cast<int>(sizeof(T)));
    resize_test::fillRandom(src, 77, 0.0, 255.0);
    if constexpr (std::is_same_v<T, Vp32f>) {
        if (shape.nonFinite) {
            const float special[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), -0.0f, 3e38f, -2e-39f, 1e-30f};
            std::mt19937 rng(5);
            for (int y = 0; y < shape.height; ++y)
                for (int x = 0; x < shape.width; ++x)
                    if (rng() % 9 == 0) src.at(x, y) = special[rng() % 7];
        }
    }
    return src;
}

// Equal bits, or both NaN: the sign and payload of a NaN that two NaN operands
// produce are not fixed by the arithmetic.
template <class T>
bool sameValue(T got, T expected) {
    if constexpr (std::is_same_v<T, Vp32f>) {
        if (std::isnan(got) && std::isnan(expected)) return true;
    }
    return std::memcmp(&got, &expected, sizeof(T)) == 0;
}

template <class T>
void checkAgainstReference(int channels, int interpolation, double xf, double yf, const Shape& shape,
                           const std::vector<int>& widthLimits) {
    const int W = shape.width, H = shape.height;
    const Image<T> src = makeSource<T>(channels, shape);
    const VpiRect roi = shape.roi;
    const int nx = static_cast<int>(roi.width * xf + 1e-7), ny = static_cast<int>(roi.height * yf + 1e-7);
    const std::vector<double> px = positions(roi.width, xf, nx), py = positions(roi.height, yf, ny);
    for (int limit : widthLimits) {
        SCOPED_TRACE(testing::Message() << "channels " << channels << " interp " << interpolation << " factors " << xf
                                        << "," << yf << " source " << W << "x" << H << " width limit " << limit);
        const int dw = std::min(limit, nx);
        resize_test::GuardedDst<T> dst(limit, ny, channels);
        VpStatus status;
        if constexpr (std::is_same_v<T, Vp8u>) {
            status = vpiResize_8u_C3R_px(src.data(), {W, H}, src.step, roi, dst.data(), dst.step, {limit, ny}, xf, yf,
                                         interpolation);
        } else {
            status = vpiResize_32f_C1R_px(src.data(), {W, H}, src.step, roi, dst.data(), dst.step, {limit, ny}, xf,
                                          yf, interpolation);
        }
        ASSERT_EQ(status, vpStsNoErr);
        ASSERT_TRUE(dst.guardsIntact(dw, ny, channels));
        for (int i = 0; i < ny; ++i) {
            const Sample sy = interpolation == VPI_INTER_CUBIC ? cubicSample(py[i], roi.y, H)
                                                               : linearSample(py[i], roi.y, H);
            for (int j = 0; j < dw; ++j) {
                const Sample sx = interpolation == VPI_INTER_CUBIC ? cubicSample(px[j], roi.x, W)
                                                                   : linearSample(px[j], roi.x, W);
                for (int c = 0; c < channels; ++c) {
                    const T expected = referenceValue(src, interpolation, sx, sy, c);
                    const T got = dst.at(j, i, c);
                    ASSERT_TRUE(sameValue(got, expected))
                        << "pixel " << j << "," << i << " channel " << c << ": " << +got << " vs " << +expected;
                }
            }
        }
    }
}

std::vector<int> everyWidthTo40() {
    std::vector<int> limits;
    for (int limit = 1; limit <= 40; ++limit) limits.push_back(limit);
    return limits;
}

const Shape kSmall{40, 30, {3, 2, 37, 28}, false};

TEST(ResizeReference, PictureCubicAndLinearForEveryWidth) {
    for (const auto& f : {std::pair{1.37, 0.83}, std::pair{0.61, 1.9}, std::pair{2.5, 2.5}, std::pair{0.3, 1.0}}) {
        checkAgainstReference<Vp8u>(3, VPI_INTER_CUBIC, f.first, f.second, kSmall, everyWidthTo40());
        checkAgainstReference<Vp8u>(3, VPI_INTER_LINEAR, f.first, f.second, kSmall, everyWidthTo40());
    }
}

// A region one column wide at the image's right edge: its columns are sampled
// from the column left of the region (negative offsets), and no read may pass
// the last row's end.
TEST(ResizeReference, RegionOnTheLastColumn) {
    const Shape lastColumn{40, 30, {39, 2, 1, 28}, false};
    for (const auto& f : {std::pair{2.5, 1.0}, std::pair{5.0, 0.7}}) {
        checkAgainstReference<Vp8u>(3, VPI_INTER_CUBIC, f.first, f.second, lastColumn, {1, 2, 5});
        checkAgainstReference<Vp8u>(3, VPI_INTER_LINEAR, f.first, f.second, lastColumn, {1, 2, 5});
        checkAgainstReference<Vp32f>(1, VPI_INTER_CUBIC, f.first, f.second, lastColumn, {1, 2, 5});
    }
}

TEST(ResizeReference, PlaneCubicAndLinearForEveryWidth) {
    for (const auto& f : {std::pair{1.37, 0.83}, std::pair{0.61, 1.9}, std::pair{2.5, 2.5}, std::pair{0.3, 1.0}}) {
        checkAgainstReference<Vp32f>(1, VPI_INTER_CUBIC, f.first, f.second, kSmall, everyWidthTo40());
        checkAgainstReference<Vp32f>(1, VPI_INTER_LINEAR, f.first, f.second, kSmall, everyWidthTo40());
    }
}

// Rows long enough that a horizontal pass works through its columns and
// source elements in several runs (and, past a few thousand columns, forms its
// column factors row by row), enlarged and reduced.
TEST(ResizeReference, LongRowsInRuns) {
    const Shape wide{1100, 6, {0, 0, 1100, 6}, false};
    const Shape wideRegion{1200, 7, {37, 1, 1150, 6}, false};
    for (const auto& f : {std::pair{2.5, 1.0}, std::pair{1.067, 1.5}, std::pair{0.7, 1.0}, std::pair{0.2, 1.0}}) {
        const int full = static_cast<int>(wide.roi.width * f.first + 1e-7);
        const int fullRegion = static_cast<int>(wideRegion.roi.width * f.first + 1e-7);
        checkAgainstReference<Vp8u>(3, VPI_INTER_CUBIC, f.first, f.second, wide, {full, 777});
        checkAgainstReference<Vp8u>(3, VPI_INTER_LINEAR, f.first, f.second, wideRegion, {fullRegion, 777});
        checkAgainstReference<Vp32f>(1, VPI_INTER_CUBIC, f.first, f.second, wideRegion, {fullRegion, 777});
    }
}

// Float planes with NaN, infinities, signed zeros and extreme magnitudes: every
// value as the value-by-value arithmetic gives it (NaN where it gives NaN).
TEST(ResizeReference, PlaneWithNonFiniteSamples) {
    const Shape special{40, 30, {3, 2, 37, 28}, true};
    const Shape wideSpecial{900, 5, {0, 0, 900, 5}, true};
    for (const auto& f : {std::pair{1.37, 0.83}, std::pair{2.5, 2.5}, std::pair{0.3, 1.0}}) {
        checkAgainstReference<Vp32f>(1, VPI_INTER_CUBIC, f.first, f.second, special, everyWidthTo40());
        checkAgainstReference<Vp32f>(1, VPI_INTER_LINEAR, f.first, f.second, special, everyWidthTo40());
        checkAgainstReference<Vp32f>(1, VPI_INTER_CUBIC, f.first, f.second, wideSpecial,
                                     {static_cast<int>(900 * f.first + 1e-7)});
    }
}

}  // namespace
