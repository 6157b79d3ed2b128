// The area-averaging kernel and the column sums, written once for every
// processor level (see resize_super_px.cpp for the arithmetic). Include only
// from level files; everything here has internal linkage so that each level
// compiles it with its own flags.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/core/vp_types.h"

// Parameter and argument lists of the kernels.
#define VP_SUPER_PARAMS                                                                              \
    const void* src, void* dst, int srcStep, int dstStep, int srcColumns, int srcRows, int dstWidth, \
        int dstHeight, double xRatio, double yRatio, double areaScale, int nChannels, int mode, void* acc
#define VP_SUPER_ARGS \
    src, dst, srcStep, dstStep, srcColumns, srcRows, dstWidth, dstHeight, xRatio, yRatio, areaScale, nChannels, mode, acc

namespace {

template <class T>
inline const T* rowAt(const void* base, std::ptrdiff_t row, int step) {
    return reinterpret_cast<const T*>(static_cast<const Vp8u*>(base) + row * step);
}

// Column sums: rows x width pixels of `used` channels at pixel stride `stride`,
// added to an accumulator of the same layout.
template <class T, class A>
void columnSum(const T* src, int srcStep, int width, int rows, A* acc, int used, int stride) {
    for (int r = 0; r < rows; ++r) {
        const T* row = rowAt<T>(src, r, srcStep);
        for (int p = 0; p < width; ++p) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(p) * stride;
            for (int c = 0; c < used; ++c) {
                if constexpr (std::is_same_v<A, Vp32f>) {
                    acc[at + c] = static_cast<float>(static_cast<double>(acc[at + c]) + row[at + c]);
                } else {
                    // Two's-complement wrap: the sum is read back as unsigned.
                    acc[at + c] = static_cast<Vp32s>(static_cast<std::uint32_t>(acc[at + c]) +
                                                     static_cast<std::uint32_t>(row[at + c]));
                }
            }
        }
    }
}

template <class T>
struct SuperTraits;
template <>
struct SuperTraits<Vp8u> {
    static constexpr bool isFloat = false;
    static constexpr double maxValue = 255.0;
};
template <>
struct SuperTraits<Vp16u> {
    static constexpr bool isFloat = false;
    static constexpr double maxValue = 65535.0;
};
template <>
struct SuperTraits<Vp32f> {
    static constexpr bool isFloat = true;
    static constexpr double maxValue = 0.0;
};

// Integer output: trunc(x + 0.5) of the mean, saturated to the element range so
// that a float sum that drifted above the largest value never wraps.
template <class T>
inline T roundMean(double x) {
    x += 0.5;
    if (!(x >= 1.0)) return 0;
    if (x >= SuperTraits<T>::maxValue) return static_cast<T>(SuperTraits<T>::maxValue);
    return static_cast<T>(static_cast<int>(x));
}

// Form: 1 one channel, 3 three channels at stride nChannels, 4 four channels.
// SumT is the precision of the horizontal window sums: px keeps them in double
// and rounds once at the store; the SIMD levels round every partial sum to
// float. Weighted terms are formed in double at every level.
template <class T, int Form, class SumT>
void superKernel(const void* srcV, void* dstV, int srcStep, int dstStep, int srcColumns, int srcRows,
                 int dstWidth, int dstHeight, double xRatio, double yRatio, double areaScale, int nChannels,
                 int mode, void* accV) {
    if (mode < 0 || mode > 3) return;
    constexpr int used = Form == 1 ? 1 : (Form == 3 ? 3 : 4);
    const int stride = Form == 3 ? nChannels : Form;
    const bool integerAcc = mode == 0 && !SuperTraits<T>::isFloat;
    const bool fracRows = (mode & 1) != 0;
    const bool fracCols = (mode & 2) != 0;

    const int xWhole = static_cast<int>(std::floor(xRatio));
    const int yWhole = static_cast<int>(std::floor(yRatio));
    const double xFrac = xRatio - xWhole;
    const double yFrac = yRatio - yWhole;

    Vp32s* accI = static_cast<Vp32s*>(accV);
    Vp32f* accF = static_cast<Vp32f*>(accV);
    const std::size_t accBytes = static_cast<std::size_t>(srcColumns) * stride * 4;

    // Rows outside the region contribute nothing.
    auto addWhole = [&](std::ptrdiff_t row) {
        if (row < 0 || row >= srcRows) return;
        const T* s = rowAt<T>(srcV, row, srcStep);
        for (int p = 0; p < srcColumns; ++p) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(p) * stride;
            for (int c = 0; c < used; ++c) {
                accF[at + c] = static_cast<float>(static_cast<double>(accF[at + c]) + s[at + c]);
            }
        }
    };
    auto addWeighted = [&](std::ptrdiff_t row, double w) {
        if (row < 0 || row >= srcRows) return;
        const T* s = rowAt<T>(srcV, row, srcStep);
        for (int p = 0; p < srcColumns; ++p) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(p) * stride;
            for (int c = 0; c < used; ++c) {
                accF[at + c] = static_cast<float>(s[at + c] * w + static_cast<double>(accF[at + c]));
            }
        }
    };
    // Accumulator entry as a double: integer sums are read as unsigned.
    auto accValue = [&](std::ptrdiff_t index) -> double {
        return integerAcc ? static_cast<double>(static_cast<std::uint32_t>(accI[index]))
                          : static_cast<double>(accF[index]);
    };

    std::ptrdiff_t rowPtr = 0;  // the source row under the window pointer
    double rowCarry = 0.0;
    T* dstRow = static_cast<T*>(dstV);

    for (int i = 0; i < dstHeight; ++i) {
        std::memset(accV, 0, accBytes);

        // ---- vertical pass ----
        if (!fracRows) {
            const std::ptrdiff_t available = srcRows - rowPtr;
            const int rows = static_cast<int>(available < yWhole ? (available > 0 ? available : 0) : yWhole);
            if (mode == 0) {
                if (rows > 0) {
                    const T* s = rowAt<T>(srcV, rowPtr, srcStep);
                    if constexpr (SuperTraits<T>::isFloat) {
                        columnSum(s, srcStep, srcColumns, rows, accF, used, stride);
                    } else {
                        columnSum(s, srcStep, srcColumns, rows, accI, used, stride);
                    }
                }
            } else {
                for (int r = 0; r < rows; ++r) addWhole(rowPtr + r);
            }
            rowPtr += yWhole;
        } else if (i == 0) {
            for (int r = 0; r < yWhole; ++r) addWhole(rowPtr++);
            if (yFrac != 0.0) addWeighted(rowPtr, yFrac);
            rowCarry = yFrac;
        } else {
            const double w = 1.0 - rowCarry;
            const double y = yRatio - w;
            const double k = std::floor(y + 1e-7);
            const double tail = y - k;
            if (w > 1e-7) addWeighted(rowPtr, w);
            ++rowPtr;
            for (int r = 0; r < static_cast<int>(k); ++r) addWhole(rowPtr++);
            if (tail > 1e-7) addWeighted(rowPtr, tail);
            rowCarry = tail;
        }

        // ---- horizontal pass: window sum of column j into accumulator pixel j ----
        if (!fracCols) {
            for (int j = 0; j < dstWidth; ++j) {
                const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(j) * xWhole;
                std::ptrdiff_t end = first + xWhole;
                if (end > srcColumns) end = srcColumns;
                const std::ptrdiff_t out = static_cast<std::ptrdiff_t>(j) * stride;
                if (integerAcc) {
                    std::uint32_t sum[used] = {};
                    for (std::ptrdiff_t p = first; p < end; ++p) {
                        for (int c = 0; c < used; ++c) sum[c] += static_cast<std::uint32_t>(accI[p * stride + c]);
                    }
                    for (int c = 0; c < used; ++c) accI[out + c] = static_cast<Vp32s>(sum[c]);
                } else {
                    SumT sum[used] = {};
                    for (std::ptrdiff_t p = first; p < end; ++p) {
                        for (int c = 0; c < used; ++c) sum[c] += static_cast<SumT>(accF[p * stride + c]);
                    }
                    for (int c = 0; c < used; ++c) accF[out + c] = static_cast<float>(sum[c]);
                }
            }
        } else {
            std::ptrdiff_t x = 0;
            double carry = 0.0;
            for (int j = 0; j < dstWidth; ++j) {
                SumT sum[used] = {};
                auto add = [&](std::ptrdiff_t p, double w, bool weighted) {
                    if (p >= srcColumns) return;
                    for (int c = 0; c < used; ++c) {
                        const double v = accF[p * stride + c];
                        sum[c] = static_cast<SumT>(static_cast<double>(sum[c]) + (weighted ? w * v : v));
                    }
                };
                if (j == 0) {
                    for (int p = 0; p < xWhole; ++p) add(p, 1.0, false);
                    if (xFrac != 0.0) add(xWhole, xFrac, true);
                    x = xWhole;
                    carry = xFrac;
                } else {
                    const double w = 1.0 - carry;
                    const double y = xRatio - w;
                    const double kd = std::floor(y + 1e-7);
                    const std::ptrdiff_t k = static_cast<std::ptrdiff_t>(kd);
                    const double tail = y - kd;
                    if (w > 1e-7) add(x, w, true);
                    for (std::ptrdiff_t p = x + 1; p <= x + k; ++p) add(p, 1.0, false);
                    if (tail > 1e-7) add(x + k + 1, tail, true);
                    x = x + k + 1;
                    carry = tail;
                }
                const std::ptrdiff_t out = static_cast<std::ptrdiff_t>(j) * stride;
                for (int c = 0; c < used; ++c) accF[out + c] = static_cast<float>(sum[c]);
            }
        }

        // ---- output conversion ----
        for (int j = 0; j < dstWidth; ++j) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(j) * stride;
            for (int c = 0; c < used; ++c) {
                const double mean = accValue(at + c) * areaScale;
                if constexpr (SuperTraits<T>::isFloat) {
                    dstRow[at + c] = static_cast<float>(mean);
                } else {
                    dstRow[at + c] = roundMean<T>(mean);
                }
            }
        }
        dstRow = reinterpret_cast<T*>(reinterpret_cast<Vp8u*>(dstRow) + dstStep);
    }
}

}  // namespace
