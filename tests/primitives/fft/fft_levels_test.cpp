// One-dimensional FFT at every processor level: records and buffer sizes per
// level, accuracy against a double-precision reference, the bit-exact
// relations between levels and paths (fused = permutation + direct, a6 = w7
// = t7 where they take equal kernels), the call forms, round trips, impulse
// responses and status orders.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fft_levels.h"
#include "fft_reference.h"
#include "heap_probe.h"
#include "primitives/core/memory.h"

namespace {

using fftlevels::Level;
using fftlevels::Placed;
using fftlevels::Spec;
using fftref::cd;

bool sameBits(const float* a, const float* b, std::size_t floats) {
    return std::memcmp(a, b, floats * sizeof(float)) == 0;
}

// ---------------------------------------------------------------- records

// Buffer sizes and table kinds by level and order: the SIMD direct and fused
// orders need 8N + 16 bytes; above the direct limit the largest matrix
// scratch plus the level's constant.
TEST(FFTLevelRecord, BufferSizesAndTablesByLevel) {
    struct Case {
        const Level* level;
        int order, bufSize;
        bool bitRevList, blocked;
        int depths;
    };
    const Case cases[] = {
        {&fftlevels::kA6, 4, 144, true, false, 0},       {&fftlevels::kA6, 7, 1040, true, false, 0},
        {&fftlevels::kA6, 9, 4112, true, false, 0},      {&fftlevels::kA6, 10, 8208, false, false, 0},
        {&fftlevels::kA6, 11, 8208, false, true, 0},     {&fftlevels::kA6, 12, 8208, false, true, 0},
        {&fftlevels::kA6, 13, 1024 + 8208, false, false, 1}, {&fftlevels::kA6, 16, 8192 + 8208, false, false, 1},
        {&fftlevels::kA6, 17, 8192 + 8208, false, false, 1}, {&fftlevels::kA6, 21, 32768 + 8208, false, true, 1},
        {&fftlevels::kW7, 7, 1040, true, false, 0},      {&fftlevels::kW7, 14, 131088, true, false, 0},
        {&fftlevels::kW7, 15, 262160, false, false, 0},  {&fftlevels::kW7, 16, 512 + 262160, false, false, 1},
        {&fftlevels::kW7, 17, 256 + 262160, false, false, 1}, {&fftlevels::kW7, 19, 512 + 262160, false, false, 2},
        {&fftlevels::kT7, 7, 1040, true, false, 0},      {&fftlevels::kT7, 15, 262160, true, false, 0},
        {&fftlevels::kT7, 16, 524304, false, false, 0},  {&fftlevels::kT7, 17, 256 + 524304, false, false, 1},
        {&fftlevels::kT7, 18, 512 + 524304, false, false, 1},
    };
    for (const Case& c : cases) {
        heapprobe::Scope heap;
        {
            Spec spec(*c.level, c.order, VP_FFT_DIV_INV_BY_N);
            ASSERT_EQ(spec.status, vpStsNoErr) << c.level->name << " order " << c.order;
            EXPECT_EQ(spec.bufSize(), c.bufSize) << c.level->name << " order " << c.order;
            const int M = 1 << (c.order - 2);
            // A list holds 0, then 2 rev(1) = M; a pair table starts with the pair of middle value 1.
            const bool list = spec.p->pBitRev[0] == 0 && spec.p->pBitRev[1] == M;
            EXPECT_EQ(list, c.bitRevList) << c.level->name << " order " << c.order;
            EXPECT_EQ(spec.p->pTwdBlocked != nullptr, c.blocked) << c.level->name << " order " << c.order;
            EXPECT_NE(spec.p->pTwdDirect, nullptr);
            for (int d = 0; d < 3; ++d) {
                EXPECT_EQ(spec.p->pTwdSplit[d] != nullptr, d < c.depths) << c.level->name << " order " << c.order;
                EXPECT_EQ(spec.p->pTwdMatrix[d] != nullptr, d < c.depths) << c.level->name << " order " << c.order;
            }
        }
        EXPECT_EQ(heapprobe::live(), 0) << c.level->name << " order " << c.order;
    }
}

// The system's order: 1040 bytes at every SIMD level, 0 at px; the scale
// flags and factor are those of the flag, alike at every level.
TEST(FFTLevelRecord, OrderSevenOfTheEngine) {
    for (const Level* lv : fftlevels::kAll) {
        Spec spec(*lv, 7, VP_FFT_DIV_INV_BY_N);
        ASSERT_EQ(spec.status, vpStsNoErr);
        EXPECT_EQ(spec.bufSize(), lv == &fftlevels::kPx ? 0 : 1040) << lv->name;
        EXPECT_EQ(spec.p->normFactor, 0.0078125f);
        EXPECT_EQ(spec.p->invScaleFlag, 1);
        EXPECT_EQ(spec.p->fwdScaleFlag, 0);
        for (int flag : {1, 4, 8}) {
            Spec other(*lv, 7, flag);
            Spec px(fftlevels::kPx, 7, flag);
            EXPECT_EQ(std::bit_cast<std::uint32_t>(other.p->normFactor), std::bit_cast<std::uint32_t>(px.p->normFactor));
        }
    }
}

// The record's tables are the level's: at order 7 the SIMD records hold the
// bit-reverse list and the SIMD stage tables (stage 5 then stage 7: six floats
// per quarter-turn entry, 6 * (8 + 32) floats in a block of 8N bytes whose
// tail is never written or read), px the swap pairs and its own twiddle layout.
TEST(FFTLevelRecord, TableContentsOfOrderSeven) {
    float* S = FFTBuildSineTable(7);
    float* simd = FFTBuildDirectTwiddlesSimd(7, S, 7);
    float* px = FFTBuildDirectTwiddlesPx(7, S, 7);
    int* list = FFTBuildBitRevList(7);
    int* pairs = FFTBuildSwapPairs(7);
    for (const Level* lv : fftlevels::kAll) {
        Spec spec(*lv, 7, VP_FFT_DIV_INV_BY_N);
        const bool isPx = lv == &fftlevels::kPx;
        EXPECT_TRUE(sameBits(spec.p->pTwdDirect, isPx ? px : simd, isPx ? 6 * 33 : 6 * (8 + 32))) << lv->name;
        EXPECT_EQ(std::memcmp(spec.p->pBitRev, isPx ? pairs : list, 4 * 33), 0) << lv->name;
    }
    // Stage 5, entry 1 (lane 1 of the first run of four): cos and -sin of
    // 2 pi / 32, read from the order-7 sine table at stride 4.
    EXPECT_EQ(simd[1], S[32 - 4]);
    EXPECT_EQ(simd[4 + 1], -S[4]);
    for (void* p : {static_cast<void*>(S), static_cast<void*>(simd), static_cast<void*>(px),
                    static_cast<void*>(list), static_cast<void*>(pairs)})
        vpsFree(p);
}

// Small orders carry no tables and no buffer at any level.
TEST(FFTLevelRecord, SmallOrdersHaveNoTables) {
    for (const Level* lv : fftlevels::kAll) {
        for (int order = 0; order <= 3; ++order) {
            Spec spec(*lv, order, VP_FFT_DIV_BY_SQRTN);
            ASSERT_EQ(spec.status, vpStsNoErr);
            EXPECT_EQ(spec.bufSize(), 0);
            EXPECT_EQ(spec.p->pBitRev, nullptr);
            EXPECT_EQ(spec.p->pTwdDirect, nullptr);
        }
    }
}

// Orders whose tables exceed the allocator's int length are refused at every
// level with vpStsMemAllocErr before anything is allocated.
TEST(FFTLevelRecord, OrdersBeyondTheAllocatorFailWithoutAllocatingAtEveryLevel) {
    for (const Level* lv : fftlevels::kAll) {
        for (int order : {28, 29, 30}) {
            heapprobe::Scope heap;
            VpsFFTSpec_C_32fc* spec = nullptr;
            EXPECT_EQ(lv->init(&spec, order, VP_FFT_DIV_INV_BY_N, 1), vpStsMemAllocErr) << lv->name << order;
            EXPECT_EQ(spec, nullptr);
            EXPECT_EQ(heapprobe::allocations(), 0) << lv->name << " order " << order;
        }
        EXPECT_TRUE(FFTTablesFit(*lv->layout, 27)) << lv->name;
        EXPECT_FALSE(FFTTablesFit(*lv->layout, 28)) << lv->name;
    }
}

// Creation and release statuses, in their order, at every level.
TEST(FFTLevelRecord, StatusOrder) {
    for (const Level* lv : fftlevels::kAll) {
        heapprobe::Scope heap;
        VpsFFTSpec_C_32fc* const sentinel = reinterpret_cast<VpsFFTSpec_C_32fc*>(std::uintptr_t{0x1234});
        VpsFFTSpec_C_32fc* spec = sentinel;
        EXPECT_EQ(lv->init(nullptr, 31, 3, 1), vpStsNullPtrErr);
        EXPECT_EQ(lv->init(&spec, 31, 2, 1), vpStsFftOrderErr);
        EXPECT_EQ(lv->init(&spec, -1, 3, 1), vpStsFftOrderErr);
        EXPECT_EQ(heapprobe::allocations(), 0);
        EXPECT_EQ(lv->init(&spec, 7, 3, 1), vpStsFftFlagErr);
        EXPECT_EQ(heapprobe::live(), 0);
        EXPECT_EQ(spec, sentinel);

        ASSERT_EQ(lv->init(&spec, 5, 2, 1), vpStsNoErr);
        int size = 99;
        EXPECT_EQ(lv->getBufSize(nullptr, &size), vpStsNullPtrErr);
        EXPECT_EQ(lv->getBufSize(spec, nullptr), vpStsNullPtrErr);
        EXPECT_EQ(lv->release(nullptr), vpStsNullPtrErr);
        EXPECT_EQ(lv->releaseReal(spec), vpStsContextMatchErr);
        spec->idCtx = 6;
        EXPECT_EQ(lv->getBufSize(spec, &size), vpStsContextMatchErr);
        EXPECT_EQ(lv->release(spec), vpStsContextMatchErr);
        EXPECT_EQ(size, 99);
        EXPECT_EQ(lv->releaseReal(spec), vpStsNoErr);
        EXPECT_EQ(heapprobe::live(), 0) << lv->name;
    }
}

// Each allocation of a SIMD creation failing in turn: vpStsMemAllocErr and
// nothing left allocated.
TEST(FFTLevelRecord, EveryAllocationFailureReleasesEverything) {
    for (const Level* lv : fftlevels::kSimd) {
        for (int order : {4, 7, 11, 16}) {
            int total = 0;
            {
                heapprobe::Scope heap;
                Spec spec(*lv, order, VP_FFT_DIV_INV_BY_N);
                total = heapprobe::allocations();
            }
            for (int k = 1; k <= total; ++k) {
                heapprobe::Scope heap(k);
                VpsFFTSpec_C_32fc* spec = nullptr;
                EXPECT_EQ(lv->init(&spec, order, VP_FFT_DIV_INV_BY_N, 1), vpStsMemAllocErr)
                    << lv->name << " order " << order << " failing allocation " << k;
                EXPECT_EQ(spec, nullptr);
                EXPECT_EQ(heapprobe::live(), 0);
            }
        }
    }
}

// ---------------------------------------------------------------- accuracy

void checkAgainstReference(const Level& lv, int order, int flag, unsigned seed) {
    const int N = 1 << order;
    Spec spec(lv, order, flag);
    ASSERT_EQ(spec.status, vpStsNoErr);
    const std::vector<float> x = fftref::randomSignal(N, seed);
    const double norm = fftref::norm2(x.data(), N);
    for (bool fwd : {true, false}) {
        const std::vector<cd> want = fftref::fft(fftref::toComplex(x.data(), N), fwd ? -1 : 1);
        const bool scaled = fwd ? spec.p->fwdScaleFlag : spec.p->invScaleFlag;
        const double scale = scaled ? spec.p->normFactor : 1.0;
        std::vector<float> got(2 * N);
        ASSERT_EQ(fftlevels::run(lv, fwd, x.data(), got.data(), spec.p), vpStsNoErr);
        EXPECT_LE(fftref::maxError(got.data(), want, scale), fftref::tolerance(N, norm, scale))
            << lv.name << " order " << order << (fwd ? " forward" : " inverse") << " flag " << flag;
    }
}

TEST(FFTLevels, EveryOrderUpTo16AgainstReference) {
    for (const Level* lv : fftlevels::kSimd) {
        for (int order = 0; order <= 16; ++order) {
            for (int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_NODIV_BY_ANY}) checkAgainstReference(*lv, order, flag, 500 + order);
        }
    }
}

// Forward then inverse with one record restores the input (N times it when
// neither direction scales).
TEST(FFTLevels, RoundTripForEachFlag) {
    for (const Level* lv : fftlevels::kSimd) {
        for (int order : {0, 1, 2, 3, 4, 5, 7, 10, 11, 12, 13, 15, 16, 17}) {
            const int N = 1 << order;
            const std::vector<float> x = fftref::randomSignal(N, 600 + order);
            const double norm = fftref::norm2(x.data(), N);
            for (int flag : {1, 2, 4, 8}) {
                Spec spec(*lv, order, flag);
                std::vector<float> y(2 * N), z(2 * N);
                ASSERT_EQ(lv->fwd(x.data(), y.data(), spec.p, nullptr), vpStsNoErr);
                ASSERT_EQ(lv->inv(y.data(), z.data(), spec.p, nullptr), vpStsNoErr);
                const double gain = flag == 8 ? N : 1.0;
                EXPECT_LE(fftref::maxError(z.data(), fftref::toComplex(x.data(), N), gain),
                          2 * fftref::tolerance(N, norm, gain))
                    << lv->name << " order " << order << " flag " << flag;
            }
        }
    }
}

// ---------------------------------------------------------------- bit-exact relations

// The fused kernel equals the permutation followed by the direct kernel of
// the same level, bit for bit, for every order it serves, into an aligned
// destination (no buffer needed), in place and into a misaligned one.
TEST(FFTLevels, FusedEqualsPermutationAndDirect) {
    struct Kernels {
        const Level* level;
        void (*fused[2])(const float*, float*, int, const float*, const int*, float*);
        void (*direct[2])(float*, int, const float*, float*, int);
    };
    const Kernels kernels[] = {
        {&fftlevels::kA6, {FFTInvFused_a6, FFTFwdFused_a6}, {FFTInvDirect_a6, FFTFwdDirect_a6}},
        {&fftlevels::kW7, {FFTInvFused_w7, FFTFwdFused_w7}, {FFTInvDirect_w7, FFTFwdDirect_w7}},
        {&fftlevels::kT7, {FFTInvFused_t7, FFTFwdFused_t7}, {FFTInvDirect_t7, FFTFwdDirect_t7}},
    };
    for (const Kernels& k : kernels) {
        for (int order = 4; order <= k.level->fusedMax; ++order) {
            const int N = 1 << order;
            Spec spec(*k.level, order, VP_FFT_NODIV_BY_ANY);
            // The same tables, with a pair table for the separate permutation.
            int* pairs = FFTBuildSwapPairs(order);
            const std::vector<float> x = fftref::randomSignal(N, 700 + order);
            for (int fwd = 0; fwd < 2; ++fwd) {
                Placed ref(2 * N, 0);
                FFTPermuteCopy(x.data(), ref.p, N, pairs);
                k.direct[fwd](ref.p, N, spec.p->pTwdDirect, nullptr, 1);

                Placed out(2 * N, 0);
                const std::vector<float> src = x;
                k.fused[fwd](src.data(), out.p, N, spec.p->pTwdDirect, spec.p->pBitRev, nullptr);
                EXPECT_TRUE(sameBits(out.p, ref.p, 2 * N)) << k.level->name << " order " << order << " aligned";
                EXPECT_EQ(src, x);  // the source is only read

                Placed buf(2 * N, 0);
                std::vector<float> inPlace = x;
                k.fused[fwd](inPlace.data(), inPlace.data(), N, spec.p->pTwdDirect, spec.p->pBitRev, buf.p);
                EXPECT_TRUE(sameBits(inPlace.data(), ref.p, 2 * N)) << k.level->name << " order " << order;

                for (int offset : {4, 8}) {
                    Placed odd(2 * N, offset);
                    k.fused[fwd](x.data(), odd.p, N, spec.p->pTwdDirect, spec.p->pBitRev, buf.p);
                    EXPECT_TRUE(sameBits(odd.p, ref.p, 2 * N)) << k.level->name << " order " << order << " +" << offset;
                    // The direct kernel on misaligned data works through the buffer, same values.
                    FFTPermuteCopy(x.data(), odd.p, N, pairs);
                    k.direct[fwd](odd.p, N, spec.p->pTwdDirect, buf.p, 1);
                    EXPECT_TRUE(sameBits(odd.p, ref.p, 2 * N)) << k.level->name << " direct order " << order;
                }
            }
            vpsFree(pairs);
        }
    }
}

// The direct kernel with interleaveOut 0 leaves the split-by-four layout:
// every run of four values as four real parts, then four imaginary parts.
TEST(FFTLevels, DirectKernelSplitLayout) {
    for (int order : {3, 4, 5, 10}) {
        const int N = 1 << order;
        Spec spec(fftlevels::kA6, order < 4 ? 4 + order % 2 : order, VP_FFT_NODIV_BY_ANY);
        const std::vector<float> x = fftref::randomSignal(N, 800 + order);
        Placed a(2 * N, 0), b(2 * N, 0);
        std::memcpy(a.p, x.data(), 8 * N);
        std::memcpy(b.p, x.data(), 8 * N);
        FFTFwdDirect_a6(a.p, N, spec.p->pTwdDirect, nullptr, 1);
        FFTFwdDirect_a6(b.p, N, spec.p->pTwdDirect, nullptr, 0);
        for (int j = 0; j < N; ++j) {
            EXPECT_EQ(b.p[8 * (j / 4) + j % 4], a.p[2 * j]) << order << " " << j;
            EXPECT_EQ(b.p[8 * (j / 4) + 4 + j % 4], a.p[2 * j + 1]) << order << " " << j;
        }
    }
}

// Levels whose paths run the same kernels give the same bits: a6 = w7 = t7
// up to order 10, w7 = t7 up to order 15.
TEST(FFTLevels, LevelsAgreeBitForBitWhereTheirKernelsAgree) {
    for (int order = 0; order <= 15; ++order) {
        const int N = 1 << order;
        const std::vector<float> x = fftref::randomSignal(N, 900 + order);
        for (int flag : {2, 4}) {
            for (bool fwd : {true, false}) {
                std::vector<float> out[3];
                int k = 0;
                for (const Level* lv : fftlevels::kSimd) {
                    Spec spec(*lv, order, flag);
                    out[k].resize(2 * N);
                    ASSERT_EQ(fftlevels::run(*lv, fwd, x.data(), out[k].data(), spec.p), vpStsNoErr);
                    ++k;
                }
                if (order <= 10) {
                    EXPECT_EQ(out[0], out[1]) << "a6/w7 order " << order << " flag " << flag;
                }
                EXPECT_EQ(out[1], out[2]) << "w7/t7 order " << order << " flag " << flag;
            }
        }
    }
}

// In place, out of place, misaligned destination, no buffer and a caller
// buffer 4 bytes past a 16-byte boundary: the same floats, and the buffer
// used only from its next boundary on and within bufSize.
TEST(FFTLevels, AllCallFormsGiveTheSameFloats) {
    for (const Level* lv : fftlevels::kAll) {
        for (int order : {0, 2, 3, 4, 5, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17}) {
            const int N = 1 << order;
            for (int flag : {2, 4}) {
                Spec spec(*lv, order, flag);
                const int bufSize = spec.bufSize();
                const std::vector<float> x = fftref::randomSignal(N, 1000 + order);
                for (bool fwd : {true, false}) {
                    std::vector<float> ref(2 * N);
                    ASSERT_EQ(fftlevels::run(*lv, fwd, x.data(), ref.data(), spec.p), vpStsNoErr);

                    std::vector<float> inPlace = x;
                    ASSERT_EQ(fftlevels::run(*lv, fwd, inPlace.data(), inPlace.data(), spec.p), vpStsNoErr);
                    EXPECT_EQ(inPlace, ref) << lv->name << " in place, order " << order;

                    std::vector<Vp8u> bufStore(bufSize + 32, 0xA5);
                    Vp8u* buf = bufStore.data();
                    while (reinterpret_cast<std::uintptr_t>(buf) % 16 != 4) ++buf;
                    for (int offset : {4, 8}) {
                        Placed dst(2 * N, offset);
                        ASSERT_EQ(fftlevels::run(*lv, fwd, x.data(), dst.p, spec.p, buf), vpStsNoErr);
                        EXPECT_TRUE(sameBits(dst.p, ref.data(), 2 * N)) << lv->name << " order " << order << " +" << offset;
                    }
                    Placed inPlaceOdd(2 * N, 4);
                    std::memcpy(inPlaceOdd.p, x.data(), 8 * N);
                    ASSERT_EQ(fftlevels::run(*lv, fwd, inPlaceOdd.p, inPlaceOdd.p, spec.p, buf), vpStsNoErr);
                    EXPECT_TRUE(sameBits(inPlaceOdd.p, ref.data(), 2 * N)) << lv->name << " in place +4, order " << order;
                    for (int i = 0; i < 12; ++i) EXPECT_EQ(buf[i], 0xA5) << lv->name << " order " << order;
                    for (Vp8u* p = buf + bufSize; p < bufStore.data() + bufStore.size(); ++p) EXPECT_EQ(*p, 0xA5);
                }
            }
        }
    }
}

TEST(FFTLevels, OwnBufferAllocatedAndReleased) {
    for (const Level* lv : fftlevels::kSimd) {
        for (int order : {4, 7, 12, 16}) {
            const int N = 1 << order;
            Spec spec(*lv, order, VP_FFT_DIV_INV_BY_N);
            std::vector<float> x = fftref::randomSignal(N, 1100), y(2 * N);
            std::vector<Vp8u> buf(spec.bufSize());
            {
                heapprobe::Scope heap;
                ASSERT_EQ(lv->fwd(x.data(), y.data(), spec.p, nullptr), vpStsNoErr);
                EXPECT_EQ(heapprobe::allocations(), 1) << lv->name << " order " << order;
                EXPECT_EQ(heapprobe::live(), 0);
            }
            {
                heapprobe::Scope heap(1);
                EXPECT_EQ(lv->inv(x.data(), y.data(), spec.p, nullptr), vpStsMemAllocErr);
                ASSERT_EQ(lv->inv(x.data(), y.data(), spec.p, buf.data()), vpStsNoErr);
                EXPECT_EQ(heapprobe::allocations(), 1);  // only the refused one
            }
        }
    }
}

// ---------------------------------------------------------------- impulses and small orders

TEST(FFTLevels, ImpulseAtZeroGivesExactOnes) {
    for (const Level* lv : fftlevels::kSimd) {
        for (int order = 0; order <= 17; ++order) {
            const int N = 1 << order;
            Spec spec(*lv, order, VP_FFT_NODIV_BY_ANY);
            std::vector<float> x(2 * N, 0.0f), X(2 * N);
            x[0] = 1.0f;
            for (bool fwd : {true, false}) {
                ASSERT_EQ(fftlevels::run(*lv, fwd, x.data(), X.data(), spec.p), vpStsNoErr);
                for (int k = 0; k < N; ++k) {
                    ASSERT_EQ(X[2 * k], 1.0f) << lv->name << " " << order << " " << k;
                    ASSERT_EQ(X[2 * k + 1], 0.0f) << lv->name << " " << order << " " << k;
                }
            }
        }
    }
}

// The 8-point kernels use c = 0x3F3504F3 at every level: an impulse at x1
// gives c and -c bit for bit.
TEST(FFTLevels, EightPointImpulseAtIndexOne) {
    const float c = std::bit_cast<float>(0x3F3504F3u);
    for (const Level* lv : fftlevels::kAll) {
        Spec spec(*lv, 3, VP_FFT_NODIV_BY_ANY);
        float x[16] = {};
        x[2] = 1;
        float X[16];
        ASSERT_EQ(lv->fwd(x, X, spec.p, nullptr), vpStsNoErr);
        EXPECT_EQ(std::vector<float>(X, X + 16),
                  (std::vector<float>{1, 0, c, -c, 0, -1, -c, -c, -1, 0, -c, c, 0, 1, c, c}))
            << lv->name;
        ASSERT_EQ(lv->inv(x, X, spec.p, nullptr), vpStsNoErr);
        EXPECT_EQ(std::vector<float>(X, X + 16),
                  (std::vector<float>{1, 0, c, c, 0, 1, -c, c, -1, 0, -c, -c, 0, -1, c, -c}))
            << lv->name;
    }
}

// The SIMD 8-point pass of odd orders combines with 0x3F3504F4. An impulse
// at element 4 of 32 lands at bit-reversed position 4, the start of the
// second half of the first 8-point group, and reaches X1 through that
// constant alone (the 32-point stage adds zeros): X1 = (c', -c').
TEST(FFTLevels, OddFirstPassUsesItsOwnConstant) {
    const float cPass = std::bit_cast<float>(0x3F3504F4u);
    for (const Level* lv : fftlevels::kSimd) {
        Spec spec(*lv, 5, VP_FFT_NODIV_BY_ANY);
        float x[64] = {};
        x[8] = 1;
        float X[64];
        ASSERT_EQ(lv->fwd(x, X, spec.p, nullptr), vpStsNoErr);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(X[2]), std::bit_cast<std::uint32_t>(cPass)) << lv->name;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(X[3]), 0xBF3504F4u) << lv->name;
    }
}

// Single-precision intermediates at the SIMD levels: a sum beyond the float
// range is infinite at once, unlike px.
TEST(FFTLevels, SmallOrdersRoundEveryOperation) {
    const float big = 3.0e38f;
    const float x[4] = {big, 0, big, 0};
    float X[4];
    for (const Level* lv : fftlevels::kSimd) {
        Spec spec(*lv, 1, VP_FFT_DIV_FWD_BY_N);
        ASSERT_EQ(lv->fwd(x, X, spec.p, nullptr), vpStsNoErr);
        EXPECT_TRUE(std::isinf(X[0])) << lv->name;
        EXPECT_EQ(X[2], 0.0f);
        const float y[8] = {2.0e38f, 0, 2.0e38f, 0, 2.0e38f, 0, 2.0e38f, 0};
        float Y[8];
        Spec four(*lv, 2, VP_FFT_NODIV_BY_ANY);
        ASSERT_EQ(lv->fwd(y, Y, four.p, nullptr), vpStsNoErr);
        EXPECT_TRUE(std::isinf(Y[0]));
        EXPECT_TRUE(std::isnan(Y[4])) << lv->name;
    }
}

// ---------------------------------------------------------------- statuses

TEST(FFTLevels, TransformStatusOrder) {
    for (const Level* lv : fftlevels::kAll) {
        Spec spec(*lv, 7, VP_FFT_DIV_INV_BY_N);
        std::vector<float> x(256, 1.0f), y(256, 7.0f);
        for (bool fwd : {true, false}) {
            EXPECT_EQ(fftlevels::run(*lv, fwd, nullptr, nullptr, nullptr), vpStsNullPtrErr);
            spec.p->idCtx = 6;
            EXPECT_EQ(fftlevels::run(*lv, fwd, nullptr, y.data(), spec.p), vpStsContextMatchErr);
            spec.p->idCtx = 4;
            EXPECT_EQ(fftlevels::run(*lv, fwd, nullptr, y.data(), spec.p), vpStsNullPtrErr);
            EXPECT_EQ(fftlevels::run(*lv, fwd, x.data(), nullptr, spec.p), vpStsNullPtrErr);
            EXPECT_EQ(y, std::vector<float>(256, 7.0f));
        }
    }
}

}  // namespace
