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

// ---- summation policies --------------------------------------------------------
// How a level forms the float sums of the one-channel kernels. px (SuperSumsPx)
// sums in double and rounds once. The SIMD levels (SuperSumsSimd) round every
// partial sum to float; their one-channel runs of accumulator entries go
// through four single-precision lanes:
//   - a run starting at an address that is a multiple of 4 but not of 16 first
//     takes 1 to 3 entries singly up to the 16-byte boundary (the lead-in);
//   - the lanes then take steps of 8 entries (lane i collects entries j + i and
//     j + 4 + i), when the run is long enough: at least 8 entries after the
//     lead-in, or at t7 at least MinRun entries in all;
//   - the lanes are combined as (0 + 2) + (1 + 3), or at t7 (0 + 1) + (2 + 3);
//   - the remaining entries are added singly.
// In the weighted rows and the float output of those lanes the weight (area
// scale) is rounded to float once and every product to float; single entries
// take the double weight as px does.
struct SuperSumsPx {
    using Sum = double;
    static constexpr bool kLanes = false;
    static constexpr int kMinRun = 0;
    static constexpr bool kPairLanes = true;
    static constexpr bool kWeightedIntegerLanes = false;
    static constexpr bool kDoubleTailColumnSums = false;
};

// MinRun 0: the w7 rule (8 entries after the lead-in); otherwise t7's length.
template <int MinRun, bool PairLanes, bool WeightedIntegerLanes, bool DoubleTailColumnSums>
struct SuperSumsSimd {
    using Sum = float;
    static constexpr bool kLanes = true;
    static constexpr int kMinRun = MinRun;
    static constexpr bool kPairLanes = PairLanes;
    static constexpr bool kWeightedIntegerLanes = WeightedIntegerLanes;
    static constexpr bool kDoubleTailColumnSums = DoubleTailColumnSums;
};

// The entries [lead, end) of a run of n 4-byte entries at p that the lanes take
// (end == lead: none).
struct SuperSpan {
    int lead;
    int end;
};

template <class P>
inline SuperSpan superSpan(const void* p, int n) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    if (address % 4 != 0) return {0, 0};
    const int lead = static_cast<int>((16 - address % 16) % 16 / 4);
    const bool take = P::kMinRun > 0 ? n >= P::kMinRun : n - lead >= 8;
    if (!take || n - lead < 8) return {0, 0};
    return {lead, n - (n - lead) % 8};
}

// The float sum of n accumulator entries onto s.
template <class P>
inline float superSumRun(const float* a, int n, float s) {
    const SuperSpan span = superSpan<P>(a, n);
    int i = 0;
    if (span.end > span.lead) {
        for (; i < span.lead; ++i) s += a[i];
        float lane[4] = {s, 0.0f, 0.0f, 0.0f};
        for (; i < span.end; i += 8) {
            for (int k = 0; k < 4; ++k) lane[k] += a[i + k];
            for (int k = 0; k < 4; ++k) lane[k] += a[i + 4 + k];
        }
        s = P::kPairLanes ? (lane[0] + lane[2]) + (lane[1] + lane[3]) : (lane[0] + lane[1]) + (lane[2] + lane[3]);
    }
    for (; i < n; ++i) s += a[i];
    return s;
}

// acc[i] = float(src[i] * w + acc[i]) for n entries of a one-channel row.
template <class P, class T>
inline void superWeightedRow(float* acc, const T* src, int n, double w) {
    int i = 0;
    if constexpr (P::kLanes && (std::is_same_v<T, Vp32f> || P::kWeightedIntegerLanes)) {
        const SuperSpan span = superSpan<P>(acc, n);
        const float ws = static_cast<float>(w);
        for (; i < span.lead; ++i) acc[i] = static_cast<float>(src[i] * w + static_cast<double>(acc[i]));
        for (; i < span.end; ++i) acc[i] = acc[i] + static_cast<float>(src[i]) * ws;
    }
    for (; i < n; ++i) acc[i] = static_cast<float>(src[i] * w + static_cast<double>(acc[i]));
}

// dst[i] = float(acc[i] * areaScale) for n entries of a one-channel float row.
template <class P>
inline void superFloatOutput(Vp32f* dst, const float* acc, int n, double areaScale) {
    int i = 0;
    if constexpr (P::kLanes) {
        const SuperSpan span = superSpan<P>(dst, n);
        const float scale = static_cast<float>(areaScale);
        for (; i < span.lead; ++i) dst[i] = static_cast<float>(acc[i] * areaScale);
        for (; i < span.end; ++i) dst[i] = acc[i] * scale;
    }
    for (; i < n; ++i) dst[i] = static_cast<float>(acc[i] * areaScale);
}

// Column sums of a one-channel float row at w7 and t7: blocks of 16 columns
// summed down the rows in float, the last width % 16 columns in double and
// rounded once.
inline void superColumnSumFloatBlocks(const Vp32f* src, int srcStep, int width, int rows, Vp32f* acc) {
    const int blocks = width - width % 16;
    columnSum(src, srcStep, blocks, rows, acc, 1, 1);
    for (int p = blocks; p < width; ++p) {
        double sum = 0.0;
        for (int r = 0; r < rows; ++r) sum += rowAt<Vp32f>(src, r, srcStep)[p];
        acc[p] = static_cast<float>(sum);
    }
}

// Form: 1 one channel, 3 three channels at stride nChannels, 4 four channels.
// P is the level's summation policy (above): px keeps the horizontal window
// sums in double and rounds once at the store; the SIMD levels round every
// partial sum to float. Weighted terms of single entries are formed in double
// at every level.
template <class T, int Form, class P>
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
        if constexpr (Form == 1) {
            superWeightedRow<P>(accF, s, srcColumns, w);
            return;
        }
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
                        if constexpr (Form == 1 && P::kDoubleTailColumnSums) {
                            superColumnSumFloatBlocks(s, srcStep, srcColumns, rows, accF);
                        } else {
                            columnSum(s, srcStep, srcColumns, rows, accF, used, stride);
                        }
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
                } else if constexpr (Form == 1 && P::kLanes) {
                    accF[j] = superSumRun<P>(accF + first, static_cast<int>(end - first), 0.0f);
                } else {
                    typename P::Sum sum[used] = {};
                    for (std::ptrdiff_t p = first; p < end; ++p) {
                        for (int c = 0; c < used; ++c) sum[c] += static_cast<typename P::Sum>(accF[p * stride + c]);
                    }
                    for (int c = 0; c < used; ++c) accF[out + c] = static_cast<float>(sum[c]);
                }
            }
        } else {
            std::ptrdiff_t x = 0;
            double carry = 0.0;
            for (int j = 0; j < dstWidth; ++j) {
                typename P::Sum sum[used] = {};
                auto add = [&](std::ptrdiff_t p, double w, bool weighted) {
                    if (p >= srcColumns) return;
                    for (int c = 0; c < used; ++c) {
                        const double v = accF[p * stride + c];
                        sum[c] = static_cast<typename P::Sum>(static_cast<double>(sum[c]) + (weighted ? w * v : v));
                    }
                };
                // Whole entries from..to (inclusive) of the window, those inside the row.
                auto addWhole = [&](std::ptrdiff_t from, std::ptrdiff_t to) {
                    if (to >= srcColumns) to = srcColumns - 1;
                    if constexpr (Form == 1 && P::kLanes) {
                        if (to >= from) sum[0] = superSumRun<P>(accF + from, static_cast<int>(to - from + 1), sum[0]);
                    } else {
                        for (std::ptrdiff_t p = from; p <= to; ++p) add(p, 1.0, false);
                    }
                };
                if (j == 0) {
                    addWhole(0, static_cast<std::ptrdiff_t>(xWhole) - 1);
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
                    addWhole(x + 1, x + k);
                    if (tail > 1e-7) add(x + k + 1, tail, true);
                    x = x + k + 1;
                    carry = tail;
                }
                const std::ptrdiff_t out = static_cast<std::ptrdiff_t>(j) * stride;
                for (int c = 0; c < used; ++c) accF[out + c] = static_cast<float>(sum[c]);
            }
        }

        // ---- output conversion ----
        if constexpr (Form == 1 && SuperTraits<T>::isFloat) {
            superFloatOutput<P>(dstRow, accF, dstWidth, areaScale);
            dstRow = reinterpret_cast<T*>(reinterpret_cast<Vp8u*>(dstRow) + dstStep);
            continue;
        }
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
