// Row and column filters at every SIMD level against a scalar model of the
// association order each of their paths uses, bit for bit, on data whose
// products span many binades so that different orders give different bits.
// The source holds exactly the filter's reach and ends on an inaccessible
// page; destination rows lie at every float alignment with canaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"
#include "tests/primitives/level_harness.h"

namespace {

using level_harness::GuardPageBlock;
using level_harness::kSimdLevels;
using level_harness::levelName;
using level_harness::OffsetRows;
using level_harness::ScopedLevel;
using level_harness::Subsystem;

// ---- Each path's summation order, over p_j = k[n-1-j] * s_j (products rounded to float).

enum class Order {
    FromZero,     // ((+0.0 + p_0) + p_1) + ... : fallback, row edges, single column edges
    FirstProduct, // (p_0 + p_1) + ... : row main section
    GroupOfFour,  // ((p_0 + p_1) + p_2) + p_3 + ... : column edges in groups of four
    Pass,         // ((p_0 + p_1) + p_2) + (p_3 + p_4) + ... [+ p_{n-1}]
    Chunked,      // a6 narrow columns: chunks of 11 after a first chunk of n <= 12 or 11 taps
};

float addChunk(float acc, const std::vector<float>& p, int from, int to) {
    int j = from;
    int even = (to - from) & ~1;
    for (; even > 2; even -= 4, j += 4) acc = (((p[j] + p[j + 1]) + p[j + 2]) + p[j + 3]) + acc;
    if (even == 2) {
        acc = (p[j] + p[j + 1]) + acc;
        j += 2;
    }
    if (j < to) acc = p[j] + acc;
    return acc;
}

float sumInOrder(Order order, const std::vector<float>& p) {
    const int n = static_cast<int>(p.size());
    float acc = 0.0f;
    switch (order) {
        case Order::FromZero:
            for (float v : p) acc = acc + v;
            return acc;
        case Order::FirstProduct:
            acc = p[0];
            for (int j = 1; j < n; ++j) acc = acc + p[j];
            return acc;
        case Order::GroupOfFour:
            acc = (p[0] + p[1]) + p[2];
            for (int j = 3; j < n; ++j) acc = acc + p[j];
            return acc;
        case Order::Pass: {
            acc = (p[0] + p[1]) + p[2];
            int j = 3;
            for (; j + 1 < n; j += 2) acc = (p[j] + p[j + 1]) + acc;
            if (j < n) acc = p[j] + acc;
            return acc;
        }
        case Order::Chunked: {
            acc = (p[0] + p[1]) + p[2];
            const int first = n <= 12 ? n : 11;
            acc = addChunk(acc, p, 3, first);
            for (int from = first; from < n; from += 11) acc = addChunk(acc, p, from, std::min(from + 11, n));
            return acc;
        }
    }
    return acc;
}

// ---- One filter call on a source that holds exactly its reach.

struct Case {
    bool rows;  // row filter (window along the row) or column filter
    int W, H, n, anchor;
    int extraFloats;  // row step beyond the reach row, in floats
    int dstOffset;    // destination start past a 16-byte boundary (a multiple of 4)
};

struct Source {
    int rowFloats, step, rowCount;
    GuardPageBlock block;
    explicit Source(const Case& c)
        : rowFloats(c.rows ? c.W + c.n - 1 : c.W), step(4 * (rowFloats + c.extraFloats)),
          rowCount(c.rows ? c.H : c.H + c.n - 1),
          block(static_cast<std::size_t>(step) * (rowCount - 1) + 4 * static_cast<std::size_t>(rowFloats)) {}
    Vp8u* row(int y) { return block.data() + static_cast<std::size_t>(y) * step; }
    float get(int x, int y) {
        float v;
        std::memcpy(&v, row(y) + 4 * x, 4);
        return v;
    }
    // The region's origin: n - 1 - anchor pixels (or rows) into the reach.
    const Vp32f* origin(const Case& c) {
        const int back = c.n - 1 - c.anchor;
        return reinterpret_cast<const Vp32f*>(c.rows ? row(0) + 4 * back : row(back));
    }
};

// Values spread over many binades with both signs, so sums depend on their order.
float spreadValue(std::mt19937& rng) {
    const float mantissa = 1.0f + static_cast<float>(rng() % 1000) / 1000.0f;
    const int exponent = static_cast<int>(rng() % 41) - 20;
    return ((rng() & 1) ? -1.0f : 1.0f) * std::ldexp(mantissa, exponent);
}

std::vector<float> window(Source& src, const Case& c, int x, int y) {
    std::vector<float> s(c.n);
    for (int j = 0; j < c.n; ++j) s[j] = c.rows ? src.get(x + j, y) : src.get(x, y + j);
    return s;
}

// The order a level gives output x of a row whose first window pixel lies at `s`.
Order orderOf(VpLevel level, const Case& c, std::uintptr_t s, bool declined, int x) {
    if (c.n <= 2 || declined) return Order::FromZero;
    const int misalign = static_cast<int>(s & 15);
    const int head = std::min(misalign ? (16 - misalign) / 4 : 0, c.W);
    if (c.rows) {
        const int main = (c.W - head) & ~7;
        return (x >= head && x < head + main) ? Order::FirstProduct : Order::FromZero;
    }
    const int main = (c.W - head) & ~15;
    if (x < head) return Order::FromZero;  // at most three: single outputs
    if (x < head + main) return (level == vpLevelA6 && (c.n == 3 || c.W <= 256)) ? Order::Chunked : Order::Pass;
    const int tail = c.W - head - main;
    return (x - head - main) < (tail & ~3) ? Order::GroupOfFour : Order::FromZero;
}

// Runs the case at every SIMD level and checks each output against the model
// of that level; returns how many outputs differ from px, to show that the
// data tells the orders apart.
int checkCase(const Case& c, std::mt19937& rng, bool failAllocations = false, bool negativeZeros = false) {
    Source src(c);
    for (int y = 0; y < src.rowCount; ++y)
        for (int x = 0; x < src.rowFloats; ++x) {
            const float v = negativeZeros ? -0.0f : spreadValue(rng);
            std::memcpy(src.row(y) + 4 * x, &v, 4);
        }
    std::vector<float> kernel(c.n);
    for (auto& k : kernel) k = negativeZeros ? std::fabs(spreadValue(rng)) : spreadValue(rng);
    auto call = [&](OffsetRows<float>& dst, bool px) {
        const auto fn = px ? (c.rows ? vpiFilterRow_32f_C1R_px : vpiFilterColumn_32f_C1R_px)
                           : (c.rows ? vpiFilterRow_32f_C1R : vpiFilterColumn_32f_C1R);
        return fn(src.origin(c), src.step, dst.data(), dst.step(), {c.W, c.H}, kernel.data(), c.n, c.anchor);
    };
    OffsetRows<float> pxOut(c.W, c.H, c.dstOffset);
    EXPECT_EQ(call(pxOut, true), vpStsNoErr);

    // The vector kernels decline when a row's window is not float-aligned.
    bool declined = false;
    for (int y = 0; y < c.H; ++y) {
        const auto* s = reinterpret_cast<const Vp8u*>(src.origin(c)) + static_cast<std::ptrdiff_t>(y) * src.step -
                        (c.rows ? 4 * (c.n - 1 - c.anchor) : (c.n - 1 - c.anchor) * src.step);
        declined |= (reinterpret_cast<std::uintptr_t>(s) & 3) != 0;
    }
    declined |= failAllocations;

    int differFromPx = 0;
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        OffsetRows<float> out(c.W, c.H, c.dstOffset);
        if (failAllocations) vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, nullptr);
        const VpStatus status = call(out, false);
        vpSetHeapHooks(nullptr, nullptr);
        EXPECT_EQ(status, vpStsNoErr);
        for (int y = 0; y < c.H; ++y) {
            const auto rowStart = reinterpret_cast<std::uintptr_t>(src.row(y));  // first window pixel of output (0, y)
            for (int x = 0; x < c.W; ++x) {
                const auto s = window(src, c, x, y);
                std::vector<float> p(c.n);
                for (int j = 0; j < c.n; ++j) p[j] = kernel[c.n - 1 - j] * s[j];
                const float want = sumInOrder(orderOf(level, c, rowStart, declined, x), p);
                const float got = out.get(x, y);
                if (std::memcmp(&want, &got, 4) != 0) {
                    ADD_FAILURE() << levelName(level) << (c.rows ? " row" : " column") << " W " << c.W << " n "
                                  << c.n << " anchor " << c.anchor << " extra " << c.extraFloats << " at " << x << ","
                                  << y << ": " << got << " expected " << want;
                    return differFromPx;
                }
                const float pxValue = pxOut.get(x, y);
                differFromPx += std::memcmp(&pxValue, &got, 4) != 0;
            }
        }
        EXPECT_TRUE(out.canariesIntact()) << levelName(level) << " W " << c.W << " n " << c.n;
    }
    return differFromPx;
}

TEST(SeparableFilterLevels, EveryPathSumsInItsOwnOrder) {
    std::mt19937 rng(31);
    int differ = 0;
    for (bool rows : {true, false})
        for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 17})
            for (int W = 1; W <= 40; ++W)
                for (int extra = 0; extra < 4; ++extra) {
                    const int anchor = (W + extra) % n;
                    // An odd number of rows before the last, so the four extra
                    // steps give the source all four float alignments.
                    const int H = rows ? 2 : (n % 2 ? 2 : 3);
                    differ += checkCase({rows, W, H, n, anchor, extra, (4 * (W + extra)) % 16}, rng);
                }
    EXPECT_GT(differ, 1000) << "the data does not tell the orders apart";
}

TEST(SeparableFilterLevels, PathsStartingFromZeroGivePositiveZeroForNegativeZeroProducts) {
    // Products that are all -0.0: sums that start from +0.0 give +0.0 (px,
    // the fallback, the edges), sums that start from a product give -0.0.
    std::mt19937 rng(2);
    for (bool rows : {true, false})
        for (int W : {3, 8, 16, 21, 40})
            for (int extra = 0; extra < 4; ++extra) checkCase({rows, W, 2, 5, 2, extra, 0}, rng, false, true);
}

TEST(SeparableFilterLevels, A6ColumnsSwitchFromChunkedToPassOrderAbove256) {
    std::mt19937 rng(4);
    for (int W : {255, 256, 257, 272})
        for (int n : {3, 7, 17}) checkCase({false, W, 2, n, n / 2, 0, 0}, rng);
}

TEST(SeparableFilterLevels, A6NarrowColumnsWithManyTapsWriteEveryOutput) {
    // More than twelve taps on narrow rows: chunks of eleven, every output written.
    std::mt19937 rng(8);
    for (int n : {12, 13, 22, 23, 24, 35})
        for (int W : {1, 5, 16, 17, 37, 64}) checkCase({false, W, 2, n, n - 1, 1, 4}, rng);
}

TEST(SeparableFilterLevels, FailedTapBufferFallsBackToTheScalarLoop) {
    std::mt19937 rng(12);
    for (bool rows : {true, false}) checkCase({rows, 37, 2, 7, 3, 0, 0}, rng, true);
}

TEST(SeparableFilterLevels, SourceOffTheFloatGridDeclinesToTheScalarLoop) {
    // A source 2 bytes past a float boundary: every level computes the
    // scalar fallback's result.
    std::mt19937 rng(3);
    const int W = 21, H = 3, n = 7;
    std::vector<Vp8u> bytes(4 * (W + n) * (H + n) + 16);
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const float v = spreadValue(rng);
        std::memcpy(&bytes[i], &v, 4);
    }
    std::vector<float> kernel(n);
    for (auto& k : kernel) k = spreadValue(rng);
    const int step = 4 * (W + n);
    const Vp8u* origin = bytes.data() + 2 + 3 * 4 + 3 * step;
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        for (bool rows : {true, false}) {
            std::vector<float> out(static_cast<std::size_t>(W) * H);
            ASSERT_EQ((rows ? vpiFilterRow_32f_C1R : vpiFilterColumn_32f_C1R)(
                          reinterpret_cast<const Vp32f*>(origin), step, out.data(), 4 * W, {W, H}, kernel.data(), n, 3),
                      vpStsNoErr);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    float acc = 0.0f;
                    for (int j = 0; j < n; ++j) {
                        float s;
                        std::memcpy(&s, origin + (rows ? y * step + 4 * (x + j - 3) : (y + j - 3) * step + 4 * x), 4);
                        acc = acc + kernel[n - 1 - j] * s;
                    }
                    const float got = out[static_cast<std::size_t>(y) * W + x];
                    ASSERT_EQ(std::memcmp(&acc, &got, 4), 0) << levelName(level) << (rows ? " row " : " column ") << x;
                }
        }
    }
}

TEST(SeparableFilterLevels, VectorKernelsPlaceRowsAtTheExactDestinationStep) {
    // A destination step 2 bytes past a whole float: the vector kernels write
    // row y at pDst + y * dstStep exactly (px rounds the step down).
    std::mt19937 rng(6);
    for (bool rows : {true, false}) {
        const Case c{rows, 23, 3, 5, 2, 0, 0};
        Source src(c);
        for (int y = 0; y < src.rowCount; ++y)
            for (int x = 0; x < src.rowFloats; ++x) {
                const float v = spreadValue(rng);
                std::memcpy(src.row(y) + 4 * x, &v, 4);
            }
        std::vector<float> kernel(c.n);
        for (auto& k : kernel) k = spreadValue(rng);
        const int dstStep = 4 * c.W + 2;
        for (VpLevel level : kSimdLevels) {
            ScopedLevel scoped(level, Subsystem::Filters);
            alignas(16) Vp8u dst[4 * 23 * 3 + 16];
            std::memset(dst, 0xEE, sizeof dst);
            ASSERT_EQ((rows ? vpiFilterRow_32f_C1R : vpiFilterColumn_32f_C1R)(
                          src.origin(c), src.step, reinterpret_cast<Vp32f*>(dst), dstStep, {c.W, c.H}, kernel.data(),
                          c.n, c.anchor),
                      vpStsNoErr);
            for (int y = 0; y < c.H; ++y) {
                for (int x = 0; x < c.W; ++x) {
                    const auto s = window(src, c, x, y);
                    std::vector<float> p(c.n);
                    for (int j = 0; j < c.n; ++j) p[j] = kernel[c.n - 1 - j] * s[j];
                    const float want =
                        sumInOrder(orderOf(level, c, reinterpret_cast<std::uintptr_t>(src.row(y)), false, x), p);
                    float got;
                    std::memcpy(&got, dst + y * dstStep + 4 * x, 4);
                    ASSERT_EQ(std::memcmp(&want, &got, 4), 0) << levelName(level) << " at " << x << "," << y;
                }
                if (y + 1 < c.H) {  // the two bytes between rows
                    EXPECT_EQ(dst[y * dstStep + 4 * c.W], 0xEE);
                    EXPECT_EQ(dst[y * dstStep + 4 * c.W + 1], 0xEE);
                }
            }
        }
    }
}

TEST(SeparableFilterLevels, ChecksAtEveryLevel) {
    float buf[64] = {};
    const float k[3] = {1, 1, 1};
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        for (auto fn : {vpiFilterRow_32f_C1R, vpiFilterColumn_32f_C1R}) {
            EXPECT_EQ(fn(buf, 0, buf, 0, {0, 0}, nullptr, 0, 1), vpStsNullPtrErr) << levelName(level);
            EXPECT_EQ(fn(buf, 0, buf, 0, {1, 1}, k, 0, 1), vpStsSizeErr);
            EXPECT_EQ(fn(buf, 0, buf, 16, {1, 1}, k, 3, 1), vpStsStepErr);
            float out = -7.0f;
            EXPECT_EQ(fn(buf + 8, 16, &out, 4, {1, 1}, k, 3, 3), vpStsAnchorErr);
            EXPECT_EQ(fn(buf + 8, 16, &out, 4, {1, 1}, k, 3, -1), vpStsAnchorErr);
            EXPECT_EQ(out, -7.0f);
        }
    }
}

}  // namespace
