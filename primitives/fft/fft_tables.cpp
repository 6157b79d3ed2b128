// Tables of the one-dimensional FFT records, shared by every processor level:
// the split tables, the level layouts, the builders of the sine, permutation
// and twiddle tables, and the creation and release procedures driven by a
// level's layout. Sine and cosine are evaluated only for the sine table; every
// other twiddle is an exact copy or sign-flipped copy of one of its entries.

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/fft/fft_internal.h"

// Rows not read by a level hold 0.
const int FFTSplitTable_px[kFFTMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,         // orders 0..10: direct
    0, 0, 5, 6, 7, 8, 8, 8, 10, 10,          // 11..20
    10, 10, 8, 8, 10, 10, 10, 10, 10, 10,    // 21..30
};
const int FFTSplitTable_a6[kFFTMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 5, 6, 7, 8, 8, 8, 10, 10,
    10, 10, 8, 8, 10, 10, 10, 10, 10, 10,
};
const int FFTSplitTable_w7[kFFTMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 4, 3, 3, 3, 3,
    4, 4, 12, 12, 11, 12, 13, 14, 10, 10,
};
const int FFTSplitTable_t7[kFFTMaxOrder + 1] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 3, 4, 3, 4,
    5, 6, 12, 12, 11, 12, 13, 14, 10, 10,
};

const FFTLevelLayout FFTLayout_px = {10, 0, false, false, 16, FFTSplitTable_px};
const FFTLevelLayout FFTLayout_a6 = {10, 9, true, true, 8 * 1024 + 16, FFTSplitTable_a6};
const FFTLevelLayout FFTLayout_w7 = {15, 14, true, false, 8 * 32768 + 16, FFTSplitTable_w7};
const FFTLevelLayout FFTLayout_t7 = {16, 15, true, false, 8 * 65536 + 16, FFTSplitTable_t7};

void* FFTAllocBytes(std::int64_t bytes) {
    if (bytes <= 0 || bytes > INT_MAX) return nullptr;
    return vpsMalloc_8u(static_cast<int>(bytes));
}

namespace {

constexpr std::int64_t pow2(int n) { return std::int64_t{1} << n; }

// Size in bytes of the largest block the tables of an order need on a level.
std::int64_t largestTableBytes(const FFTLevelLayout& layout, int n) {
    if (n <= 3) return 0;
    const std::int64_t N = pow2(n);
    std::int64_t largest = 4 * (N / 4 + 1);                       // permutation table, sine table
    if (n <= layout.directLimit) {
        const std::int64_t direct = layout.simdTables ? 8 * N : 24 * (N / 4) + 24;
        return direct > largest ? direct : largest;
    }
    if (layout.splitTable[n] == 0) {
        const std::int64_t blocked = layout.halvingTwiddles ? 4 * N : 2 * N;
        return blocked > largest ? blocked : largest;
    }
    return 8 * N > largest ? 8 * N : largest;                     // the depth-0 twiddle matrix
}

inline float S_at(const float* S, int shift, std::int64_t x) { return S[x << shift]; }

float neg(float v) {
    // Negation as a sign flip of the stored float (0.0 becomes -0.0).
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    bits ^= 0x80000000u;
    std::memcpy(&v, &bits, 4);
    return v;
}

// The six floats of direct-twiddle entry i of order n: w^i, w^2i, w^3i with
// w = exp(-2 pi i / N), each as (real, imaginary).
void directEntry(const float* S, int shift, std::int64_t N, std::int64_t i, float* out) {
    const std::int64_t Q = N / 4;
    const std::int64_t H = N / 2;
    out[0] = S_at(S, shift, Q - i);
    out[1] = neg(S_at(S, shift, i));
    const std::int64_t i2 = 2 * i;
    if (i2 <= Q) {
        out[2] = S_at(S, shift, Q - i2);
        out[3] = neg(S_at(S, shift, i2));
    } else {
        out[2] = neg(S_at(S, shift, i2 - Q));
        out[3] = neg(S_at(S, shift, H - i2));
    }
    const std::int64_t i3 = 3 * i;
    if (i3 <= Q) {
        out[4] = S_at(S, shift, Q - i3);
        out[5] = neg(S_at(S, shift, i3));
    } else if (i3 <= H) {
        out[4] = neg(S_at(S, shift, i3 - Q));
        out[5] = neg(S_at(S, shift, H - i3));
    } else {
        out[4] = neg(S_at(S, shift, 3 * Q - i3));
        out[5] = S_at(S, shift, i3 - H);
    }
}

int reverseBits(int value, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) {
        r = (r << 1) | (value & 1);
        value >>= 1;
    }
    return r;
}

}  // namespace

bool FFTTablesFit(const FFTLevelLayout& layout, int order) {
    // The allocator adds its own overhead to the length; leave room for it.
    return largestTableBytes(layout, order) <= INT_MAX - 64;
}

void FFTTwiddleFromSine(const float* S, int sineOrder, int n, std::int64_t k, float* re, float* im) {
    const int shift = sineOrder - n;
    const std::int64_t N = pow2(n);
    const std::int64_t Q = N / 4;
    const std::int64_t H = N / 2;
    k &= N - 1;
    if (k < Q) {
        *re = S_at(S, shift, Q - k);
        *im = neg(S_at(S, shift, k));
    } else if (k < H) {
        *re = neg(S_at(S, shift, k - Q));
        *im = neg(S_at(S, shift, H - k));
    } else if (k < 3 * Q) {
        *re = neg(S_at(S, shift, 3 * Q - k));
        *im = S_at(S, shift, k - H);
    } else {
        *re = S_at(S, shift, k - 3 * Q);
        *im = S_at(S, shift, N - k);
    }
}

float* FFTBuildSineTable(int n) {
    const std::int64_t N = pow2(n);
    const std::int64_t Q = N / 4;
    float* S = static_cast<float*>(FFTAllocBytes(4 * (Q + 1)));
    if (!S) return nullptr;
    // The angle step is 2 pi as a double divided by N; angles and their sine
    // or cosine are evaluated in extended precision and rounded once. Sines
    // up to pi/4, cosines of the complement above, so arguments stay small.
    const long double step = static_cast<long double>(6.283185307179586 / static_cast<double>(N));
    for (std::int64_t i = 0; i <= Q; ++i) {
        if (8 * i <= N) {
            S[i] = static_cast<float>(std::sin(static_cast<long double>(i) * step));
        } else {
            S[i] = static_cast<float>(std::cos(static_cast<long double>(Q - i) * step));
        }
    }
    return S;
}

int* FFTBuildSwapPairs(int n) {
    if (n < 2) return nullptr;
    const int M = 1 << (n - 2);
    int* table = static_cast<int*>(FFTAllocBytes(4 * (static_cast<std::int64_t>(M) + 1)));
    if (!table) return nullptr;
    int front = 0;
    int back = M - 1;
    for (int k = 1; k < M; ++k) {
        const int r = reverseBits(k, n - 2);
        if (k < r) {
            table[front++] = 4 * k;
            table[front++] = 4 * r;
        } else if (k == r) {
            table[back--] = 4 * k;
        }
    }
    table[front] = 0;
    table[M] = 0;
    return table;
}

int* FFTBuildBitRevList(int n) {
    if (n < 4) return nullptr;
    const int M = 1 << (n - 2);
    int* table = static_cast<int*>(FFTAllocBytes(4 * (static_cast<std::int64_t>(M) + 1)));
    if (!table) return nullptr;
    for (int k = 0; k < M; ++k) table[k] = 2 * reverseBits(k, n - 2);
    table[M] = 0;
    return table;
}

float* FFTBuildDirectTwiddlesPx(int n, const float* S, int sineOrder) {
    const std::int64_t N = pow2(n);
    const std::int64_t Q = N / 4;
    float* table = static_cast<float*>(FFTAllocBytes(24 * Q + 24));
    if (!table) return nullptr;
    const int shift = sineOrder - n;
    for (std::int64_t i = 0; i <= Q; ++i) directEntry(S, shift, N, i, table + 6 * i);
    return table;
}

float* FFTBuildDirectTwiddlesSimd(int n, const float* S, int sineOrder) {
    const std::int64_t N = pow2(n);
    float* table = static_cast<float*>(FFTAllocBytes(N <= 8 ? 8 : 8 * N));
    if (!table) return nullptr;
    float* out = table;
    for (int m = 4 + (n % 2); m <= n; m += 2) {
        const std::int64_t Nm = pow2(m);
        const int shift = sineOrder - m;
        // Four entries at a time: six runs of four floats.
        for (std::int64_t j = 0; j < Nm / 4; j += 4) {
            float entries[4][6];
            for (int lane = 0; lane < 4; ++lane) directEntry(S, shift, Nm, j + lane, entries[lane]);
            for (int v = 0; v < 6; ++v) {
                for (int lane = 0; lane < 4; ++lane) *out++ = entries[lane][v];
            }
        }
    }
    return table;
}

float* FFTBuildQuarterTwiddles(int n, const float* S, int sineOrder) {
    const std::int64_t N = pow2(n);
    const std::int64_t Q = N / 4;
    float* table = static_cast<float*>(FFTAllocBytes(N <= 4 ? 8 : 2 * N));
    if (!table) return nullptr;
    const int shift = sineOrder - n;
    for (std::int64_t k = 0; k < Q; ++k) {
        table[2 * k] = S_at(S, shift, Q - k);
        table[2 * k + 1] = neg(S_at(S, shift, k));
    }
    return table;
}

float* FFTBuildHalvingTwiddles(int n, const float* S, int sineOrder) {
    const std::int64_t N = pow2(n);
    float* table = static_cast<float*>(FFTAllocBytes(4 * N));
    if (!table) return nullptr;
    float* out = table;
    for (int p = n; p >= 11; --p) {
        const std::int64_t Qp = pow2(p) / 4;
        const int shift = sineOrder - p;
        for (std::int64_t k = 0; k < Qp; k += 4) {
            for (int lane = 0; lane < 4; ++lane) *out++ = S_at(S, shift, Qp - (k + lane));
            for (int lane = 0; lane < 4; ++lane) *out++ = neg(S_at(S, shift, k + lane));
        }
    }
    return table;
}

void FFTPermuteInPlace(float* d, int N, const int* pairs) {
    // Complex element e occupies floats 2e and 2e + 1; a table value 4m is the
    // float offset of element 2m. H is the element offset of the upper half.
    const std::int64_t H = static_cast<std::int64_t>(N) / 2;
    auto swap = [d](std::int64_t a, std::int64_t b) {
        float t0 = d[2 * a];
        float t1 = d[2 * a + 1];
        d[2 * a] = d[2 * b];
        d[2 * a + 1] = d[2 * b + 1];
        d[2 * b] = t0;
        d[2 * b + 1] = t1;
    };
    const int* p = pairs;
    for (; *p != 0; p += 2) {
        const std::int64_t e = p[0] / 2;
        const std::int64_t f = p[1] / 2;
        swap(e, f);
        swap(e + 1, H + f);
        swap(H + e, f + 1);
        swap(H + e + 1, H + f + 1);
    }
    // The self-reverse list starts with the implied middle value 0.
    std::int64_t e = 0;
    for (;;) {
        swap(e + 1, H + e);
        ++p;
        if (*p == 0) break;
        e = *p / 2;
    }
}

namespace {

inline void moveElem(const float* src, std::int64_t from, float* dst, std::int64_t to) {
    std::memcpy(dst + 2 * to, src + 2 * from, 8);
}

}  // namespace

void FFTPermuteCopy(const float* pSrc, float* pDst, int N, const int* pairs) {
    const std::int64_t H = N / 2;
    const int* p = pairs;
    for (; *p != 0; p += 2) {
        const std::int64_t e = p[0] / 2;  // element 2m
        const std::int64_t f = p[1] / 2;  // element 2 rev(m)
        moveElem(pSrc, e, pDst, f);
        moveElem(pSrc, H + e, pDst, f + 1);
        moveElem(pSrc, e + 1, pDst, H + f);
        moveElem(pSrc, H + e + 1, pDst, H + f + 1);
        moveElem(pSrc, f, pDst, e);
        moveElem(pSrc, H + f, pDst, e + 1);
        moveElem(pSrc, f + 1, pDst, H + e);
        moveElem(pSrc, H + f + 1, pDst, H + e + 1);
    }
    // Self-reverse middle values, starting with the implied 0.
    std::int64_t e = 0;
    for (;;) {
        moveElem(pSrc, e, pDst, e);
        moveElem(pSrc, H + e, pDst, e + 1);
        moveElem(pSrc, e + 1, pDst, H + e);
        moveElem(pSrc, H + e + 1, pDst, H + e + 1);
        ++p;
        if (*p == 0) break;
        e = *p / 2;
    }
}

VpStatus FFTInitAllocFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc** ppSpec, int order, int flag,
                         VpHintAlgorithm hint) {
    if (!ppSpec) return vpStsNullPtrErr;
    if (order < 0 || order > kFFTMaxOrder) return vpStsFftOrderErr;
    // A table whose size the allocator cannot represent fails the creation
    // before anything is allocated.
    if (!FFTTablesFit(layout, order)) return vpStsMemAllocErr;
    auto* spec = static_cast<VpsFFTSpec_C_32fc*>(FFTAllocBytes(sizeof(VpsFFTSpec_C_32fc)));
    if (!spec) return vpStsMemAllocErr;
    std::memset(static_cast<void*>(spec), 0, sizeof(VpsFFTSpec_C_32fc));
    spec->idCtx = kFFTSpecIdComplex;
    spec->order = order;
    spec->hint = hint;
    const int N = 1 << order;
    if (flag == VP_FFT_NODIV_BY_ANY) {
        // neither direction scales; normFactor stays 0.0
    } else if (flag == VP_FFT_DIV_BY_SQRTN) {
        spec->fwdScaleFlag = 1;
        spec->invScaleFlag = 1;
        spec->normFactor = static_cast<float>(1.0 / std::sqrt(static_cast<double>(N)));
    } else if (flag == VP_FFT_DIV_FWD_BY_N) {
        spec->fwdScaleFlag = 1;
        spec->normFactor = 1.0f / static_cast<float>(N);
    } else if (flag == VP_FFT_DIV_INV_BY_N) {
        spec->invScaleFlag = 1;
        spec->normFactor = 1.0f / static_cast<float>(N);
    } else {
        destroyFFTSpec(spec);
        return vpStsFftFlagErr;
    }
    if (order > 3) {
        const VpStatus status = FFTInitTablesFor(layout, spec, order, nullptr, 0);
        if (status != vpStsNoErr) {
            destroyFFTSpec(spec);
            return status;
        }
    } else {
        spec->bufSize = 0;
    }
    *ppSpec = spec;
    return vpStsNoErr;
}

VpStatus FFTInitTablesFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc* spec, int order, const float* pSine,
                          int sineOrder) {
    spec->pBitRev = (order <= layout.bitRevListMaxOrder) ? FFTBuildBitRevList(order) : FFTBuildSwapPairs(order);
    if (!spec->pBitRev) return vpStsMemAllocErr;
    float* ownSine = nullptr;
    if (!pSine) {
        ownSine = FFTBuildSineTable(order);
        if (!ownSine) return vpStsMemAllocErr;
        pSine = ownSine;
        sineOrder = order;
    }
    VpStatus status = vpStsNoErr;
    if (order <= layout.directLimit) {
        spec->pTwdDirect = layout.simdTables ? FFTBuildDirectTwiddlesSimd(order, pSine, sineOrder)
                                             : FFTBuildDirectTwiddlesPx(order, pSine, sineOrder);
        if (!spec->pTwdDirect) {
            status = vpStsMemAllocErr;
        } else {
            spec->bufSize = layout.simdTables ? 8 * (1 << order) + 16 : 0;
        }
    } else {
        spec->bufSize = 0;
        status = FFTBuildLargeTablesFor(layout, spec, order, pSine, sineOrder);
        if (status == vpStsNoErr) spec->bufSize += layout.blockTerm;
    }
    vpsFree(ownSine);
    return status;
}

VpStatus FFTBuildLargeTablesFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc* spec, int order,
                                const float* pSine, int sineOrder) {
    if (layout.splitTable[order] != 0) {
        return FFTBuildSplitTablesFor(layout, spec, order, pSine, sineOrder, 0);
    }
    spec->pTwdBlocked = layout.halvingTwiddles ? FFTBuildHalvingTwiddles(order, pSine, sineOrder)
                                               : FFTBuildQuarterTwiddles(order, pSine, sineOrder);
    if (!spec->pTwdBlocked) return vpStsMemAllocErr;
    spec->pTwdDirect = layout.simdTables ? FFTBuildDirectTwiddlesSimd(kFFTBlockOrder, pSine, sineOrder)
                                         : FFTBuildDirectTwiddlesPx(kFFTBlockOrder, pSine, sineOrder);
    if (!spec->pTwdDirect) return vpStsMemAllocErr;
    return vpStsNoErr;
}

VpStatus FFTBuildSplitTablesFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc* spec, int n, const float* S,
                                int sineOrder, int depth) {
    const int s = layout.splitTable[n];
    const int d = n - s;
    auto directTwiddles = [&](int order) {
        return layout.simdTables ? FFTBuildDirectTwiddlesSimd(order, S, sineOrder)
                                 : FFTBuildDirectTwiddlesPx(order, S, sineOrder);
    };

    // 1. Tables of the row (sub-)transforms.
    if (d <= layout.directLimit) {
        spec->pTwdDirect = directTwiddles(d);
        if (!spec->pTwdDirect) return vpStsMemAllocErr;
    } else if (layout.splitTable[d] != 0) {
        const VpStatus status = FFTBuildSplitTablesFor(layout, spec, d, S, sineOrder, depth + 1);
        if (status != vpStsNoErr) return status;
    } else {
        spec->pTwdBlocked = layout.halvingTwiddles ? FFTBuildHalvingTwiddles(d, S, sineOrder)
                                                   : FFTBuildQuarterTwiddles(d, S, sineOrder);
        if (!spec->pTwdBlocked) return vpStsMemAllocErr;
        spec->pTwdDirect = directTwiddles(kFFTBlockOrder);
        if (!spec->pTwdDirect) return vpStsMemAllocErr;
    }

    // 2. Twiddles of the column transforms of this depth.
    spec->pTwdSplit[depth] = directTwiddles(s);
    if (!spec->pTwdSplit[depth]) return vpStsMemAllocErr;

    // 3. The twiddle matrix: 2^n complex values.
    const std::int64_t N = pow2(n);
    const std::int64_t R = pow2(s);
    const std::int64_t C = pow2(d);
    float* matrix = static_cast<float*>(FFTAllocBytes(8 * N));
    if (!matrix) return vpStsMemAllocErr;
    spec->pTwdMatrix[depth] = matrix;

    // 4. Four scratch rows of R values and the pair table of order s.
    float* scratch = static_cast<float*>(FFTAllocBytes(32 * R));
    if (!scratch) return vpStsMemAllocErr;
    int* pairs = FFTBuildSwapPairs(s);
    if (!pairs) {
        vpsFree(scratch);
        return vpStsMemAllocErr;
    }

    // 5. For each group of four columns: the rows w_N^(j * c), permuted into
    //    bit-reversed order, then position t of the four rows side by side.
    float* out = matrix;
    for (std::int64_t g = 0; g < C / 4; ++g) {
        for (int i = 0; i < 4; ++i) {
            float* row = scratch + 2 * R * i;
            const std::int64_t c = 4 * g + i;
            for (std::int64_t j = 0; j < R; ++j) {
                FFTTwiddleFromSine(S, sineOrder, n, j * c, row + 2 * j, row + 2 * j + 1);
            }
            FFTPermuteInPlace(row, static_cast<int>(R), pairs);
        }
        for (std::int64_t t = 0; t < R; ++t) {
            for (int i = 0; i < 4; ++i) {
                *out++ = scratch[2 * R * i + 2 * t];
                *out++ = scratch[2 * R * i + 2 * t + 1];
            }
        }
    }

    // 6. SIMD levels: every run of four values as four reals, then four imaginaries.
    if (layout.simdTables) {
        for (std::int64_t v = 0; v < N; v += 4) {
            float run[8];
            std::memcpy(run, matrix + 2 * v, sizeof run);
            for (int lane = 0; lane < 4; ++lane) {
                matrix[2 * v + lane] = run[2 * lane];
                matrix[2 * v + 4 + lane] = run[2 * lane + 1];
            }
        }
    }

    // 7. Room for the four gathered columns.
    if (32 * R > spec->bufSize) spec->bufSize = static_cast<int>(32 * R);

    vpsFree(scratch);
    vpsFree(pairs);
    return vpStsNoErr;
}

void destroyFFTSpec(VpsFFTSpec_C_32fc* spec) {
    if (!spec) return;
    vpsFree(spec->pBitRev);
    vpsFree(spec->pTwdDirect);
    vpsFree(spec->pTwdBlocked);
    for (void* p : spec->pReserved) vpsFree(p);
    for (float* p : spec->pTwdSplit) vpsFree(p);
    for (float* p : spec->pTwdMatrix) vpsFree(p);
    spec->idCtx = 0;
    vpsFree(spec);
}
