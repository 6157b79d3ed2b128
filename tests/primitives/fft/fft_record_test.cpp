// One-dimensional FFT records and their tables: layouts, worked examples,
// normalisation, buffer sizes, status orders, allocation failures.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "heap_probe.h"
#include "primitives/core/memory.h"
#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_px.h"
#include "primitives/primitives.h"

namespace {

std::uint32_t bitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

std::vector<int> tableOf(const int* t, int count) { return std::vector<int>(t, t + count); }

int reverseBits(int v, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b, v >>= 1) r = (r << 1) | (v & 1);
    return r;
}

const double kTwoPi = 6.283185307179586;

// ---------------------------------------------------------------- tables

TEST(FFTTables, SwapPairTablesOfOrders3To7) {
    const std::vector<std::vector<int>> expected = {
        {0, 4, 0},
        {4, 8, 0, 12, 0},
        {4, 16, 12, 24, 0, 28, 20, 8, 0},
        {4, 32, 8, 16, 12, 48, 20, 40, 28, 56, 44, 52, 0, 60, 36, 24, 0},
        {4, 64, 8, 32, 12, 96, 20, 80, 24, 48, 28, 112, 36, 72, 44, 104, 52, 88, 60, 120, 76, 100, 92, 116,
         0, 124, 108, 84, 68, 56, 40, 16, 0},
    };
    for (int n = 3; n <= 7; ++n) {
        int* t = FFTBuildSwapPairs_px(n);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(tableOf(t, (1 << (n - 2)) + 1), expected[n - 3]) << "order " << n;
        vpsFree(t);
    }
}

TEST(FFTTables, BitRevListOfOrders4And7) {
    int* t4 = FFTBuildBitRevList(4);
    ASSERT_NE(t4, nullptr);
    EXPECT_EQ(tableOf(t4, 5), (std::vector<int>{0, 4, 2, 6, 0}));
    vpsFree(t4);
    int* t7 = FFTBuildBitRevList(7);
    ASSERT_NE(t7, nullptr);
    const std::vector<int> all = tableOf(t7, 33);
    EXPECT_EQ(std::vector<int>(all.begin(), all.begin() + 6), (std::vector<int>{0, 32, 16, 48, 8, 40}));
    EXPECT_EQ(std::vector<int>(all.end() - 3, all.end()), (std::vector<int>{30, 62, 0}));
    vpsFree(t7);
}

// Both permutation routines against a plain bit reversal, orders 3..16.
TEST(FFTTables, PermutationsMatchBitReversal) {
    for (int n = 3; n <= 16; ++n) {
        const int N = 1 << n;
        int* pairs = FFTBuildSwapPairs_px(n);
        ASSERT_NE(pairs, nullptr);
        std::vector<float> src(2 * N), expect(2 * N), dst(2 * N, -1.0f);
        for (int i = 0; i < 2 * N; ++i) src[i] = static_cast<float>(i);
        for (int j = 0; j < N; ++j) {
            const int r = reverseBits(j, n);
            expect[2 * r] = src[2 * j];
            expect[2 * r + 1] = src[2 * j + 1];
        }
        std::vector<float> inPlace = src;
        FFTBitReverseInPlace_px(inPlace.data(), N, pairs);
        EXPECT_EQ(inPlace, expect) << "in place, order " << n;
        if (n >= 4) {
            FFTBitReverseCopy_px(src.data(), dst.data(), N, pairs);
            EXPECT_EQ(dst, expect) << "copy, order " << n;
        }
        vpsFree(pairs);
    }
}

TEST(FFTTables, SineTableOfOrder4) {
    float* S = FFTBuildSineTable_px(4);
    ASSERT_NE(S, nullptr);
    EXPECT_EQ(S[0], 0.0f);
    EXPECT_EQ(S[1], static_cast<float>(std::sin(kTwoPi / 16)));
    EXPECT_EQ(S[2], static_cast<float>(std::sin(kTwoPi / 8)));
    EXPECT_EQ(S[3], static_cast<float>(std::cos(kTwoPi / 16)));
    EXPECT_EQ(S[4], 1.0f);
    vpsFree(S);
}

TEST(FFTTables, SineTableEntriesRoundedOnce) {
    const int n = 12;
    float* S = FFTBuildSineTable_px(n);
    ASSERT_NE(S, nullptr);
    const int N = 1 << n;
    for (int i = 0; i <= N / 4; ++i) {
        const long double exact = std::sin(static_cast<long double>(i) * (kTwoPi / N));
        EXPECT_NEAR(S[i], static_cast<double>(exact), 6e-8) << i;
    }
    vpsFree(S);
}

TEST(FFTTables, PxDirectTwiddlesOfOrder4) {
    float* S = FFTBuildSineTable_px(4);
    float* t = FFTBuildDirectTwiddles_px(4, S, 4);
    ASSERT_NE(t, nullptr);
    // Entry 4 (i = Q): theta = pi/2, with signs flipped as stored floats.
    const float* e = t + 6 * 4;
    EXPECT_EQ(bitsOf(e[0]), bitsOf(0.0f));
    EXPECT_EQ(bitsOf(e[1]), bitsOf(-1.0f));
    EXPECT_EQ(bitsOf(e[2]), bitsOf(-1.0f));
    EXPECT_EQ(bitsOf(e[3]), bitsOf(-0.0f));
    EXPECT_EQ(bitsOf(e[4]), bitsOf(-0.0f));
    EXPECT_EQ(bitsOf(e[5]), bitsOf(1.0f));
    // Every entry holds w^i, w^2i, w^3i of w = exp(-2 pi i / 16).
    for (int i = 0; i <= 4; ++i) {
        for (int m = 1; m <= 3; ++m) {
            EXPECT_NEAR(t[6 * i + 2 * (m - 1)], std::cos(kTwoPi * m * i / 16), 1e-7);
            EXPECT_NEAR(t[6 * i + 2 * (m - 1) + 1], -std::sin(kTwoPi * m * i / 16), 1e-7);
        }
    }
    vpsFree(t);
    vpsFree(S);
}

// Tables the SIMD levels read: stage tables of sizes 32 and 128 for order 7,
// four entries at a time as six runs of four floats.
TEST(FFTTables, SimdDirectTwiddlesOfOrder7) {
    float* S = FFTBuildSineTable_px(7);
    float* t = FFTBuildDirectTwiddlesSimd(7, S, 7);
    ASSERT_NE(t, nullptr);
    int offset = 0;
    for (int m : {5, 7}) {
        const int Nm = 1 << m;
        for (int j = 0; j < Nm / 4; ++j) {
            const float* run = t + offset + 24 * (j / 4) + (j % 4);
            for (int v = 0; v < 3; ++v) {
                const double angle = kTwoPi * (v + 1) * j / Nm;
                EXPECT_NEAR(run[8 * v], std::cos(angle), 1e-7) << m << " " << j;
                EXPECT_NEAR(run[8 * v + 4], -std::sin(angle), 1e-7) << m << " " << j;
            }
        }
        offset += 6 * Nm / 4;
    }
    EXPECT_EQ(offset, 240);  // 120 complex values
    vpsFree(t);
    vpsFree(S);
}

TEST(FFTTables, QuarterAndHalvingTwiddles) {
    float* S = FFTBuildSineTable_px(12);
    float* q = FFTBuildQuarterTwiddles_px(11, S, 12);
    ASSERT_NE(q, nullptr);
    for (int k = 0; k < 512; ++k) {
        EXPECT_NEAR(q[2 * k], std::cos(kTwoPi * k / 2048), 1e-7);
        EXPECT_NEAR(q[2 * k + 1], -std::sin(kTwoPi * k / 2048), 1e-7);
    }
    vpsFree(q);
    // Halving levels 12 then 11, four reals then four imaginaries.
    float* h = FFTBuildHalvingTwiddles(12, S, 12);
    ASSERT_NE(h, nullptr);
    int offset = 0;
    for (int p : {12, 11}) {
        const int Qp = (1 << p) / 4;
        for (int k = 0; k < Qp; ++k) {
            const float* run = h + offset + 8 * (k / 4) + (k % 4);
            EXPECT_NEAR(run[0], std::cos(kTwoPi * k / (1 << p)), 1e-7);
            EXPECT_NEAR(run[4], -std::sin(kTwoPi * k / (1 << p)), 1e-7);
        }
        offset += 2 * Qp;
    }
    vpsFree(h);
    vpsFree(S);
}

TEST(FFTTables, SplitTablesOfEachLevel) {
    EXPECT_EQ(FFTSplitTable_px[13], 5);
    EXPECT_EQ(FFTSplitTable_px[11], 0);
    EXPECT_EQ(FFTSplitTable_px[12], 0);
    EXPECT_EQ(FFTSplitTable_px[23], 8);
    EXPECT_EQ(FFTSplitTable_a6[19], 10);
    EXPECT_EQ(FFTSplitTable_w7[16], 4);
    EXPECT_EQ(FFTSplitTable_w7[29], 10);
    EXPECT_EQ(FFTSplitTable_t7[17], 3);
    EXPECT_EQ(FFTSplitTable_t7[22], 6);
}

// The twiddle matrix of px order 13 (split 5): group g, position t holds
// w_N^(rev_5(t) * c) for the four columns c = 4g..4g+3, interleaved.
TEST(FFTTables, TwiddleMatrixOfOrder13) {
    VpsFFTSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, 13, VP_FFT_NODIV_BY_ANY, vpAlgHintFast), vpStsNoErr);
    const float* m = spec->pTwdMatrix[0];
    ASSERT_NE(m, nullptr);
    const int N = 1 << 13, R = 32, C = 256;
    for (int g = 0; g < C / 4; g += 7) {
        for (int t = 0; t < R; ++t) {
            for (int i = 0; i < 4; ++i) {
                const long long k = static_cast<long long>(reverseBits(t, 5)) * (4 * g + i) % N;
                const float* v = m + 8 * R * g + 8 * t + 2 * i;
                EXPECT_NEAR(v[0], std::cos(kTwoPi * k / N), 1e-7);
                EXPECT_NEAR(v[1], -std::sin(kTwoPi * k / N), 1e-7);
            }
        }
    }
    vpsFFTFree_C_32fc_px(spec);
}

// ---------------------------------------------------------------- records

TEST(FFTRecord, NormalisationByFlag) {
    struct Case {
        int flag, fwd, inv;
        float factor;
    };
    const Case cases[] = {
        {VP_FFT_DIV_FWD_BY_N, 1, 0, 0.0078125f},
        {VP_FFT_DIV_INV_BY_N, 0, 1, 0.0078125f},
        {VP_FFT_DIV_BY_SQRTN, 1, 1, 0.088388346f},
        {VP_FFT_NODIV_BY_ANY, 0, 0, 0.0f},
    };
    for (const Case& c : cases) {
        VpsFFTSpec_C_32fc* spec = nullptr;
        ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, 7, c.flag, 77), vpStsNoErr);
        EXPECT_EQ(spec->idCtx, 4);
        EXPECT_EQ(spec->order, 7);
        EXPECT_EQ(spec->hint, 77);  // any hint is stored
        EXPECT_EQ(spec->fwdScaleFlag, c.fwd);
        EXPECT_EQ(spec->invScaleFlag, c.inv);
        EXPECT_EQ(bitsOf(spec->normFactor), bitsOf(c.factor)) << c.flag;
        EXPECT_EQ(spec->bufSize, 0);
        EXPECT_NE(spec->pBitRev, nullptr);
        EXPECT_NE(spec->pTwdDirect, nullptr);
        EXPECT_EQ(spec->pTwdBlocked, nullptr);
        EXPECT_EQ(vpsFFTFree_C_32fc_px(spec), vpStsNoErr);
    }
    // 1/sqrt(N) for even and odd orders.
    for (int order : {0, 1, 4, 9, 12}) {
        VpsFFTSpec_C_32fc* spec = nullptr;
        ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, order, VP_FFT_DIV_BY_SQRTN, 1), vpStsNoErr);
        EXPECT_EQ(spec->normFactor, static_cast<float>(1.0 / std::sqrt(static_cast<double>(1 << order))));
        vpsFFTFree_C_32fc_px(spec);
    }
}

TEST(FFTRecord, SmallOrdersHaveNoTables) {
    for (int order = 0; order <= 3; ++order) {
        for (int flag : {1, 2, 4, 8}) {
            VpsFFTSpec_C_32fc* spec = nullptr;
            ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, order, flag, 1), vpStsNoErr);
            EXPECT_EQ(spec->bufSize, 0);
            EXPECT_EQ(spec->pBitRev, nullptr);
            EXPECT_EQ(spec->pTwdDirect, nullptr);
            EXPECT_EQ(spec->pTwdBlocked, nullptr);
            for (int d = 0; d < 3; ++d) {
                EXPECT_EQ(spec->pReserved[d], nullptr);
                EXPECT_EQ(spec->pTwdSplit[d], nullptr);
                EXPECT_EQ(spec->pTwdMatrix[d], nullptr);
            }
            vpsFFTFree_C_32fc_px(spec);
        }
    }
}

TEST(FFTRecord, BufferSizesAndTablesByOrder) {
    struct Case {
        int order, bufSize;
        bool blocked;
        int depths;
    };
    const Case cases[] = {
        {4, 0, false, 0},    {7, 0, false, 0},        {10, 0, false, 0},       {11, 16, true, 0},
        {12, 16, true, 0},   {13, 32 * 32 + 16, false, 1}, {16, 32 * 256 + 16, false, 1},
        {17, 8208, false, 1}, {19, 32 * 1024 + 16, false, 1}, {21, 32784, true, 1},
    };
    for (const Case& c : cases) {
        heapprobe::Scope heap;
        VpsFFTSpec_C_32fc* spec = nullptr;
        ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, c.order, VP_FFT_DIV_INV_BY_N, 1), vpStsNoErr);
        int size = -1;
        EXPECT_EQ(vpsFFTGetBufSize_C_32fc_px(spec, &size), vpStsNoErr);
        EXPECT_EQ(size, c.bufSize) << "order " << c.order;
        EXPECT_EQ(spec->pTwdBlocked != nullptr, c.blocked) << "order " << c.order;
        EXPECT_NE(spec->pTwdDirect, nullptr);
        for (int d = 0; d < 3; ++d) {
            EXPECT_EQ(spec->pTwdSplit[d] != nullptr, d < c.depths) << "order " << c.order;
            EXPECT_EQ(spec->pTwdMatrix[d] != nullptr, d < c.depths) << "order " << c.order;
        }
        EXPECT_EQ(vpsFFTFree_C_32fc_px(spec), vpStsNoErr);
        EXPECT_EQ(heapprobe::live(), 0) << "order " << c.order;  // scratch and tables all released
    }
}

TEST(FFTRecord, CreationStatusOrder) {
    heapprobe::Scope heap;
    VpsFFTSpec_C_32fc* const sentinel = reinterpret_cast<VpsFFTSpec_C_32fc*>(std::uintptr_t{0x1234});
    VpsFFTSpec_C_32fc* spec = sentinel;
    EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(nullptr, 31, 3, 1), vpStsNullPtrErr);
    EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, 31, VP_FFT_DIV_INV_BY_N, 1), vpStsFftOrderErr);
    EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, -1, 3, 1), vpStsFftOrderErr);
    EXPECT_EQ(heapprobe::allocations(), 0);
    for (int flag : {0, 3, 5, 16, -1}) {
        EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, 7, flag, 1), vpStsFftFlagErr) << flag;
    }
    EXPECT_GT(heapprobe::allocations(), 0);  // the record was made, then released
    EXPECT_EQ(heapprobe::live(), 0);
    EXPECT_EQ(spec, sentinel);
}

// A failed record allocation is reported before a bad flag.
TEST(FFTRecord, RecordAllocationFailureBeforeFlag) {
    heapprobe::Scope heap(1);
    VpsFFTSpec_C_32fc* spec = nullptr;
    EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, 7, 3, 1), vpStsMemAllocErr);
    EXPECT_EQ(spec, nullptr);
}

// Each allocation of the creation failing in turn: vpStsMemAllocErr, nothing
// left allocated, the caller's pointer untouched.
TEST(FFTRecord, EveryAllocationFailureReleasesEverything) {
    for (int order : {4, 7, 11, 13, 16}) {
        int total = 0;
        {
            heapprobe::Scope heap;
            VpsFFTSpec_C_32fc* spec = nullptr;
            ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, order, VP_FFT_DIV_INV_BY_N, 1), vpStsNoErr);
            total = heapprobe::allocations();
            vpsFFTFree_C_32fc_px(spec);
        }
        ASSERT_GT(total, 1);
        for (int k = 1; k <= total; ++k) {
            heapprobe::Scope heap(k);
            VpsFFTSpec_C_32fc* spec = nullptr;
            EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, order, VP_FFT_DIV_INV_BY_N, 1), vpStsMemAllocErr)
                << "order " << order << " failing allocation " << k;
            EXPECT_EQ(spec, nullptr);
            EXPECT_EQ(heapprobe::live(), 0) << "order " << order << " failing allocation " << k;
        }
    }
}

// Orders whose twiddle matrix would not fit the allocator's int length fail
// cleanly, before anything is allocated.
TEST(FFTRecord, OrdersBeyondTheAllocatorFailWithoutAllocating) {
    for (int order : {28, 29, 30}) {
        heapprobe::Scope heap;
        VpsFFTSpec_C_32fc* spec = nullptr;
        EXPECT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, order, VP_FFT_DIV_INV_BY_N, 1), vpStsMemAllocErr);
        EXPECT_EQ(spec, nullptr);
        EXPECT_EQ(heapprobe::allocations(), 0);
    }
    EXPECT_TRUE(FFTTablesFit(FFTLayout_px, 27));
    EXPECT_FALSE(FFTTablesFit(FFTLayout_px, 28));
}

TEST(FFTRecord, QueryAndReleaseChecks) {
    VpsFFTSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(vpsFFTInitAlloc_C_32fc_px(&spec, 5, VP_FFT_DIV_INV_BY_N, 1), vpStsNoErr);
    int size = 99;
    EXPECT_EQ(vpsFFTGetBufSize_C_32fc_px(nullptr, &size), vpStsNullPtrErr);
    EXPECT_EQ(vpsFFTGetBufSize_C_32fc_px(spec, nullptr), vpStsNullPtrErr);
    EXPECT_EQ(vpsFFTFree_C_32fc_px(nullptr), vpStsNullPtrErr);
    EXPECT_EQ(vpsFFTFree_R_32f_px(nullptr), vpStsNullPtrErr);
    // The real-input release refuses a complex record and frees nothing.
    EXPECT_EQ(vpsFFTFree_R_32f_px(spec), vpStsContextMatchErr);
    EXPECT_EQ(spec->idCtx, 4);
    // A record marked as real input is refused by the complex query and release.
    spec->idCtx = 6;
    EXPECT_EQ(vpsFFTGetBufSize_C_32fc_px(spec, &size), vpStsContextMatchErr);
    EXPECT_EQ(vpsFFTFree_C_32fc_px(spec), vpStsContextMatchErr);
    EXPECT_EQ(size, 99);
    EXPECT_EQ(vpsFFTFree_R_32f_px(spec), vpStsNoErr);

    // A two-dimensional record is not a one-dimensional one.
    VpsFFTSpec_C_32fc foreign{};
    foreign.idCtx = 25;
    EXPECT_EQ(vpsFFTGetBufSize_C_32fc_px(&foreign, &size), vpStsContextMatchErr);
    EXPECT_EQ(vpsFFTFree_C_32fc_px(&foreign), vpStsContextMatchErr);
}

}  // namespace
