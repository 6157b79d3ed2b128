// Two-dimensional FFT at the a6, w7 and t7 levels: work-area sizes per level,
// status orders, every shape path against the double-precision reference, the
// call forms, and the engine's 128 x 128 tile (equal bits at the three
// levels, which all take the fused kernels).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fft2d_images.h"
#include "fft_reference.h"
#include "heap_probe.h"
#include "primitives/core/level_routines.h"
#include "primitives/fft/fft_simd.h"
#include "tests/primitives/level_harness.h"

namespace {

using fftref::cd;
using namespace fft2dimages;

typedef VpStatus (*Transform2D)(const Vp32fc*, int, Vp32fc*, int, const VpiFFTSpec_C_32fc*, Vp8u*);

struct Level2D {
    const char* name;
    VpStatus (*init)(VpiFFTSpec_C_32fc**, int, int, int, VpHintAlgorithm);
    VpStatus (*getBufSize)(const VpiFFTSpec_C_32fc*, int*);
    VpStatus (*release)(VpiFFTSpec_C_32fc*);
    Transform2D fwd, inv;
    VpStatus (*magnitude)(const Vp32fc*, int, Vp32f*, int, VpiSize);
    VpStatus (*rowMagnitude)(const Vp32fc*, Vp32f*, int);
    VpLevel level;
};

const Level2D kLevels[] = {
    {"a6", vpiFFTInitAlloc_C_32fc_a6, vpiFFTGetBufSize_C_32fc_a6, vpiFFTFree_C_32fc_a6, vpiFFTFwd_CToC_32fc_C1R_a6,
     vpiFFTInv_CToC_32fc_C1R_a6, vpiMagnitude_32fc32f_C1R_a6, vpsMagnitude_32fc_a6, vpLevelA6},
    {"w7", vpiFFTInitAlloc_C_32fc_w7, vpiFFTGetBufSize_C_32fc_w7, vpiFFTFree_C_32fc_w7, vpiFFTFwd_CToC_32fc_C1R_w7,
     vpiFFTInv_CToC_32fc_C1R_w7, vpiMagnitude_32fc32f_C1R_w7, vpsMagnitude_32fc_w7, vpLevelW7},
    {"t7", vpiFFTInitAlloc_C_32fc_t7, vpiFFTGetBufSize_C_32fc_t7, vpiFFTFree_C_32fc_t7, vpiFFTFwd_CToC_32fc_C1R_t7,
     vpiFFTInv_CToC_32fc_C1R_t7, vpiMagnitude_32fc32f_C1R_t7, vpsMagnitude_32fc_t7, vpLevelT7},
};

struct Spec2D {
    const Level2D& level;
    VpiFFTSpec_C_32fc* p = nullptr;
    Spec2D(const Level2D& lv, int orderX, int orderY, int flag) : level(lv) {
        EXPECT_EQ(lv.init(&p, orderX, orderY, flag, vpAlgHintFast), vpStsNoErr);
    }
    ~Spec2D() {
        if (p) level.release(p);
    }
    Spec2D(const Spec2D&) = delete;
    Spec2D& operator=(const Spec2D&) = delete;
    int bufSize() const {
        int size = -1;
        level.getBufSize(p, &size);
        return size;
    }
};

VpStatus run2D(const Level2D& lv, bool fwd, Image& src, Image& dst, const VpiFFTSpec_C_32fc* spec, Vp8u* buf) {
    return (fwd ? lv.fwd : lv.inv)(src.px.data(), src.step(), dst.px.data(), dst.step(), spec, buf);
}

// The row record of order 7 asks 1040 bytes at these levels, so the
// engine's record needs 1040 + 64 * 128 + 16 = 9248 (8208 at px).
TEST(FFT2DLevels, BufferSizes) {
    struct Case {
        int orderX, orderY, bufSize;
    };
    const Case cases[] = {
        {7, 7, 9248},
        {0, 0, 80},
        {7, 5, 272 + 2048 + 16},    // columns of 32: 8 * 32 + 16 and four columns
        {5, 7, 1040 + 8192 + 16},
        {3, 2, 256 + 16},           // orders below 4 need no work area of their own
    };
    for (const Level2D& lv : kLevels) {
        for (const Case& c : cases) {
            heapprobe::Scope heap;
            {
                Spec2D spec(lv, c.orderX, c.orderY, VP_FFT_DIV_INV_BY_N);
                EXPECT_EQ(spec.bufSize(), c.bufSize) << lv.name << " " << c.orderX << " x " << c.orderY;
                EXPECT_EQ(spec.p->pColSpec == nullptr, c.orderX == c.orderY);
            }
            EXPECT_EQ(heapprobe::live(), 0) << lv.name;
        }
    }
}

TEST(FFT2DLevels, CreationAndQueryStatuses) {
    VpiFFTSpec_C_32fc* const sentinel = reinterpret_cast<VpiFFTSpec_C_32fc*>(std::uintptr_t{0x1234});
    for (const Level2D& lv : kLevels) {
        heapprobe::Scope heap;
        VpiFFTSpec_C_32fc* spec = sentinel;
        EXPECT_EQ(lv.init(nullptr, 7, 7, 2, 1), vpStsNullPtrErr);
        EXPECT_EQ(lv.init(&spec, 31, 7, 2, 1), vpStsFftOrderErr);
        EXPECT_EQ(lv.init(&spec, 7, -1, 2, 1), vpStsFftOrderErr);
        EXPECT_EQ(lv.init(&spec, 28, 7, 2, 1), vpStsMemAllocErr);
        EXPECT_EQ(heapprobe::allocations(), 0) << lv.name;
        EXPECT_EQ(lv.init(&spec, 7, 5, 3, 1), vpStsFftFlagErr);
        EXPECT_EQ(heapprobe::live(), 0) << lv.name;
        EXPECT_EQ(spec, sentinel);
        int size = 5;
        EXPECT_EQ(lv.getBufSize(nullptr, &size), vpStsNullPtrErr);
        EXPECT_EQ(lv.release(nullptr), vpStsNullPtrErr);
        ASSERT_EQ(lv.init(&spec, 3, 3, 2, 1), vpStsNoErr);
        spec->id = 4;
        EXPECT_EQ(lv.getBufSize(spec, &size), vpStsContextMatchErr);
        EXPECT_EQ(lv.release(spec), vpStsContextMatchErr);
        EXPECT_EQ(size, 5);
        spec->id = 25;
        EXPECT_EQ(lv.release(spec), vpStsNoErr);
        EXPECT_EQ(heapprobe::live(), 0) << lv.name;
    }
}

TEST(FFT2DLevels, TransformStatusOrder) {
    for (const Level2D& lv : kLevels) {
        Spec2D spec(lv, 2, 2, VP_FFT_DIV_INV_BY_N);
        Image src = randomImage(4, 4, 0, 1), dst(4, 4, 0);
        Image before = dst;
        VpiFFTSpec_C_32fc other = *spec.p;
        other.id = 4;
        for (Transform2D call : {lv.fwd, lv.inv}) {
            EXPECT_EQ(call(nullptr, 0, nullptr, 0, nullptr, nullptr), vpStsNullPtrErr);
            EXPECT_EQ(call(nullptr, 0, nullptr, 0, &other, nullptr), vpStsContextMatchErr);
            EXPECT_EQ(call(nullptr, 32, dst.px.data(), 32, spec.p, nullptr), vpStsNullPtrErr);
            EXPECT_EQ(call(src.px.data(), 32, nullptr, 32, spec.p, nullptr), vpStsNullPtrErr);
            EXPECT_EQ(call(src.px.data(), 0, dst.px.data(), -32, spec.p, nullptr), vpStsStepErr);
            EXPECT_EQ(call(src.px.data(), 32, dst.px.data(), 0, spec.p, nullptr), vpStsStepErr);
            EXPECT_TRUE(sameImage(dst, before));
        }
        heapprobe::Scope heap(1);
        EXPECT_EQ(lv.fwd(src.px.data(), 32, dst.px.data(), 32, spec.p, nullptr), vpStsMemAllocErr);
        EXPECT_TRUE(sameImage(dst, before));
    }
}

// Every path of the row-column procedure (single pixel, single row, single
// column, two columns, groups of four; fused, direct and split rows) against
// the reference, with guard pixels after each row.
TEST(FFT2DLevels, EveryShapeAgainstReference) {
    const std::pair<int, int> shapes[] = {{0, 0}, {3, 0}, {0, 3}, {1, 2}, {1, 4}, {2, 2}, {3, 5},
                                          {5, 3}, {7, 7}, {4, 6}, {11, 2}, {2, 11}, {16, 2}};
    for (const Level2D& lv : kLevels) {
        for (auto [ox, oy] : shapes) {
            const int W = 1 << ox, H = 1 << oy;
            for (int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_DIV_BY_SQRTN}) {
                Spec2D spec(lv, ox, oy, flag);
                Image src = randomImage(W, H, 3, 70 + ox * 8 + oy);
                const double norm = std::sqrt(static_cast<double>(W) * H) * 0.82;
                for (bool fwd : {true, false}) {
                    const std::vector<cd> want = reference2D(src, fwd ? -1 : 1);
                    double scale = 1.0;
                    if (flag == VP_FFT_DIV_BY_SQRTN) scale = 1.0 / std::sqrt(static_cast<double>(W) * H);
                    if (flag == VP_FFT_DIV_INV_BY_N && !fwd) scale = 1.0 / (static_cast<double>(W) * H);
                    Image dst(W, H, 1);
                    ASSERT_EQ(run2D(lv, fwd, src, dst, spec.p, nullptr), vpStsNoErr);
                    EXPECT_LE(maxError(dst, want, scale),
                              fftref::tolerance(static_cast<std::size_t>(W) * H, norm, scale))
                        << lv.name << " " << W << " x " << H << (fwd ? " forward" : " inverse") << " flag " << flag;
                    EXPECT_TRUE(guardsIntact(dst));
                }
            }
        }
    }
}

// In place and with a caller buffer 4 bytes past a 16-byte boundary: the
// floats of the out-of-place call without a buffer; the buffer is used only
// from its boundary on and within bufSize.
TEST(FFT2DLevels, CallFormsGiveTheSameFloats) {
    const std::pair<int, int> shapes[] = {{0, 0}, {0, 5}, {1, 3}, {2, 2}, {4, 4}, {7, 7}, {6, 3}, {3, 11}, {12, 1}};
    for (const Level2D& lv : kLevels) {
        for (auto [ox, oy] : shapes) {
            const int W = 1 << ox, H = 1 << oy;
            Spec2D spec(lv, ox, oy, VP_FFT_DIV_INV_BY_N);
            const int bufSize = spec.bufSize();
            for (bool fwd : {true, false}) {
                for (int pad : {0, 1}) {
                    Image src = randomImage(W, H, pad, 80 + ox + oy);
                    Image ref(W, H, pad);
                    ASSERT_EQ(run2D(lv, fwd, src, ref, spec.p, nullptr), vpStsNoErr);

                    Image inPlace = src;
                    ASSERT_EQ(run2D(lv, fwd, inPlace, inPlace, spec.p, nullptr), vpStsNoErr);
                    EXPECT_TRUE(sameImage(inPlace, ref)) << lv.name << " " << W << " x " << H << " in place";

                    std::vector<Vp8u> store(bufSize + 32, 0x5A);
                    Vp8u* buf = store.data();
                    while (reinterpret_cast<std::uintptr_t>(buf) % 16 != 4) ++buf;
                    Image dst(W, H, pad);
                    Image srcCopy = src;
                    ASSERT_EQ(run2D(lv, fwd, src, dst, spec.p, buf), vpStsNoErr);
                    EXPECT_TRUE(sameImage(dst, ref)) << lv.name << " " << W << " x " << H << " caller buffer";
                    EXPECT_TRUE(sameImage(src, srcCopy));
                    for (int i = 0; i < 12; ++i) EXPECT_EQ(buf[i], 0x5A);
                    for (Vp8u* p = buf + bufSize; p < store.data() + store.size(); ++p) ASSERT_EQ(*p, 0x5A);
                }
            }
        }
    }
}

// The engine's tile: forward then inverse restores the image for each flag;
// the three levels give the same bits.
TEST(FFT2DLevels, EngineTile) {
    for (int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_DIV_FWD_BY_N, VP_FFT_DIV_BY_SQRTN}) {
        Image src = randomImage(128, 128, 0, 9);
        std::vector<Image> results;
        for (const Level2D& lv : kLevels) {
            Spec2D spec(lv, 7, 7, flag);
            std::vector<Vp8u> buf(spec.bufSize());
            Image freq(128, 128, 0), back(128, 128, 0);
            ASSERT_EQ(run2D(lv, true, src, freq, spec.p, buf.data()), vpStsNoErr);
            ASSERT_EQ(run2D(lv, false, freq, back, spec.p, buf.data()), vpStsNoErr);
            double e = 0;
            for (int y = 0; y < 128; ++y)
                for (int x = 0; x < 128; ++x) {
                    e = std::max(e, std::abs(static_cast<double>(back.at(x, y).re) - src.at(x, y).re));
                    e = std::max(e, std::abs(static_cast<double>(back.at(x, y).im) - src.at(x, y).im));
                }
            EXPECT_LE(e, 1e-6) << lv.name << " flag " << flag;
            results.push_back(back);
        }
        EXPECT_TRUE(sameImage(results[0], results[1])) << "a6/w7 flag " << flag;
        EXPECT_TRUE(sameImage(results[1], results[2])) << "w7/t7 flag " << flag;
    }
}

// The image magnitude of each level: every row through the level's vector
// magnitude (same bits), the padding between rows untouched, and the
// statuses in their order.
TEST(FFT2DLevels, MagnitudeRowByRow) {
    const int W = 37, H = 5, dstStride = W + 3;
    Image src = randomImage(W, H, 2, 91);
    src.at(0, 0) = {3.0f, -4.0f};
    src.at(1, 0) = {0.0f, -0.0f};
    src.at(2, 0) = {3.0e38f, 3.0e38f};
    for (const Level2D& lv : kLevels) {
        std::vector<Vp32f> dst(static_cast<std::size_t>(dstStride) * H, -1.0f);
        ASSERT_EQ(lv.magnitude(src.px.data(), src.step(), dst.data(), dstStride * 4, VpiSize{W, H}), vpStsNoErr);
        for (int y = 0; y < H; ++y) {
            std::vector<Vp32f> row(W);
            ASSERT_EQ(lv.rowMagnitude(src.row(y), row.data(), W), vpStsNoErr);
            EXPECT_EQ(std::memcmp(row.data(), &dst[y * dstStride], 4 * W), 0) << lv.name << " row " << y;
            for (int x = W; x < dstStride; ++x) EXPECT_EQ(dst[y * dstStride + x], -1.0f) << lv.name;
        }
        EXPECT_EQ(dst[0], 5.0f) << lv.name;
        Vp32fc s[4] = {};
        Vp32f d[4] = {7, 7, 7, 7};
        EXPECT_EQ(lv.magnitude(nullptr, 8, d, 4, VpiSize{1, 1}), vpStsNullPtrErr);
        EXPECT_EQ(lv.magnitude(s, 8, nullptr, 4, VpiSize{0, 0}), vpStsNullPtrErr);
        EXPECT_EQ(lv.magnitude(s, 0, d, 4, VpiSize{1, 0}), vpStsSizeErr);
        EXPECT_EQ(lv.magnitude(s, 0, d, 4, VpiSize{0, 1}), vpStsSizeErr);
        EXPECT_EQ(lv.magnitude(s, 0, d, 4, VpiSize{1, 1}), vpStsStepErr);
        EXPECT_EQ(lv.magnitude(s, 8, d, -4, VpiSize{1, 1}), vpStsStepErr);
        for (float v : d) EXPECT_EQ(v, 7.0f);
    }
}

// With the level installed, the dispatched entries reach its routines: the
// record is the level's (work area 9248), and the engine's sequence
// (forward, inverse, magnitude) gives the level's own bits.
TEST(FFT2DLevels, DispatchedEntriesRunTheLevel) {
    Image src = randomImage(128, 128, 0, 93);
    for (const Level2D& lv : kLevels) {
        Image freq(128, 128, 0), back(128, 128, 0), want(128, 128, 0);
        std::vector<Vp32f> mag(128 * 128), wantMag(128 * 128);
        {
            level_harness::ScopedLevel scope(lv.level, level_harness::Subsystem::Fft);
            VpiFFTSpec_C_32fc* spec = nullptr;
            ASSERT_EQ(vpiFFTInitAlloc_C_32fc(&spec, 7, 7, VP_FFT_DIV_INV_BY_N, vpAlgHintFast), vpStsNoErr);
            int bufSize = 0;
            ASSERT_EQ(vpiFFTGetBufSize_C_32fc(spec, &bufSize), vpStsNoErr);
            EXPECT_EQ(bufSize, 9248) << lv.name;
            std::vector<Vp8u> buf(bufSize);
            ASSERT_EQ(vpiFFTFwd_CToC_32fc_C1R(src.px.data(), 1024, freq.px.data(), 1024, spec, buf.data()), vpStsNoErr);
            ASSERT_EQ(vpiFFTInv_CToC_32fc_C1R(freq.px.data(), 1024, back.px.data(), 1024, spec, buf.data()), vpStsNoErr);
            ASSERT_EQ(vpiMagnitude_32fc32f_C1R(back.px.data(), 1024, mag.data(), 512, VpiSize{128, 128}), vpStsNoErr);
            EXPECT_EQ(vpiFFTFree_C_32fc(spec), vpStsNoErr);
        }
        Spec2D spec(lv, 7, 7, VP_FFT_DIV_INV_BY_N);
        ASSERT_EQ(run2D(lv, true, src, want, spec.p, nullptr), vpStsNoErr);
        EXPECT_TRUE(sameImage(freq, want)) << lv.name;
        ASSERT_EQ(run2D(lv, false, freq, want, spec.p, nullptr), vpStsNoErr);
        EXPECT_TRUE(sameImage(back, want)) << lv.name;
        ASSERT_EQ(lv.magnitude(want.px.data(), 1024, wantMag.data(), 512, VpiSize{128, 128}), vpStsNoErr);
        EXPECT_EQ(mag, wantMag) << lv.name;
    }
}

}  // namespace
