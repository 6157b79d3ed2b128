// Two-dimensional px FFT: records and buffer sizes, status orders, every
// shape path (1 x 1, single row, single column, two columns, groups of four)
// against a double-precision reference, in place, with row padding, with and
// without the caller's buffer, and the engine's 128 x 128 round trip.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fft2d_images.h"
#include "fft_reference.h"
#include "heap_probe.h"
#include "primitives/core/memory.h"
#include "primitives/fft/fft_px.h"
#include "primitives/primitives.h"

namespace {

using fftref::cd;
using namespace fft2dimages;

struct Spec2D {
    VpiFFTSpec_C_32fc* p = nullptr;
    Spec2D(int orderX, int orderY, int flag) {
        EXPECT_EQ(vpiFFTInitAlloc_C_32fc_px(&p, orderX, orderY, flag, vpAlgHintFast), vpStsNoErr);
    }
    ~Spec2D() {
        if (p) vpiFFTFree_C_32fc_px(p);
    }
    Spec2D(const Spec2D&) = delete;
    Spec2D& operator=(const Spec2D&) = delete;
};

VpStatus run2D(bool fwd, Image& src, Image& dst, const VpiFFTSpec_C_32fc* spec, Vp8u* buf) {
    return fwd ? vpiFFTFwd_CToC_32fc_C1R_px(src.px.data(), src.step(), dst.px.data(), dst.step(), spec, buf)
               : vpiFFTInv_CToC_32fc_C1R_px(src.px.data(), src.step(), dst.px.data(), dst.step(), spec, buf);
}

// ---------------------------------------------------------------- records

TEST(FFT2DSpec, BufferSizes) {
    struct Case {
        int orderX, orderY, bufSize;
    };
    const Case cases[] = {
        {7, 7, 64 * 128 + 16},          // the engine's tiles
        {0, 0, 80},                     // 1 x 1
        {7, 5, 2048 + 16},              // rows of 128, columns of 32
        {13, 2, 1040 + 16},             // row work area 1040 beats 64 * 4
        {2, 13, 1040 + 64 * 8192 + 16}, // column work area plus four columns
    };
    for (const Case& c : cases) {
        Spec2D spec(c.orderX, c.orderY, VP_FFT_DIV_INV_BY_N);
        int size = -1;
        EXPECT_EQ(vpiFFTGetBufSize_C_32fc_px(spec.p, &size), vpStsNoErr);
        EXPECT_EQ(size, c.bufSize) << c.orderX << " x " << c.orderY;
        EXPECT_EQ(spec.p->id, 25);
        EXPECT_EQ(spec.p->hint, vpAlgHintFast);
        EXPECT_EQ(spec.p->pRealSpec1, nullptr);
        EXPECT_EQ(spec.p->pRealSpec2, nullptr);
        EXPECT_EQ(spec.p->pRowSpec->order, c.orderX);
        if (c.orderX == c.orderY) {
            EXPECT_EQ(spec.p->pColSpec, nullptr);
        } else {
            ASSERT_NE(spec.p->pColSpec, nullptr);
            EXPECT_EQ(spec.p->pColSpec->order, c.orderY);
        }
    }
}

TEST(FFT2DSpec, CreationFailures) {
    VpiFFTSpec_C_32fc* const sentinel = reinterpret_cast<VpiFFTSpec_C_32fc*>(std::uintptr_t{0x1234});
    struct Case {
        int orderX, orderY, flag;
        VpStatus status;
        bool allocates;
    };
    const Case cases[] = {
        {31, 7, 2, vpStsFftOrderErr, false}, {-1, 7, 2, vpStsFftOrderErr, false},
        {7, 31, 2, vpStsFftOrderErr, false}, {7, -1, 2, vpStsFftOrderErr, false},
        {7, 7, 3, vpStsFftFlagErr, true},    {7, 5, 0, vpStsFftFlagErr, true},
        // Sizes the allocator cannot represent fail before any allocation.
        {7, 25, 2, vpStsMemAllocErr, false}, {7, 26, 2, vpStsMemAllocErr, false},
        {28, 7, 2, vpStsMemAllocErr, false}, {7, 30, 2, vpStsMemAllocErr, false},
    };
    for (const Case& c : cases) {
        heapprobe::Scope heap;
        VpiFFTSpec_C_32fc* spec = sentinel;
        EXPECT_EQ(vpiFFTInitAlloc_C_32fc_px(&spec, c.orderX, c.orderY, c.flag, 1), c.status)
            << c.orderX << " " << c.orderY << " " << c.flag;
        EXPECT_EQ(spec, sentinel);
        EXPECT_EQ(heapprobe::allocations() > 0, c.allocates) << c.orderX << " " << c.orderY;
        EXPECT_EQ(heapprobe::live(), 0);
    }
    EXPECT_EQ(vpiFFTInitAlloc_C_32fc_px(nullptr, 7, 7, 2, 1), vpStsNullPtrErr);
}

TEST(FFT2DSpec, EveryAllocationFailureReleasesEverything) {
    for (auto orders : {std::pair{7, 7}, std::pair{7, 5}, std::pair{11, 13}}) {
        int total = 0;
        {
            heapprobe::Scope heap;
            Spec2D spec(orders.first, orders.second, VP_FFT_DIV_INV_BY_N);
            total = heapprobe::allocations();
        }
        for (int k = 1; k <= total; ++k) {
            heapprobe::Scope heap(k);
            VpiFFTSpec_C_32fc* spec = nullptr;
            EXPECT_EQ(vpiFFTInitAlloc_C_32fc_px(&spec, orders.first, orders.second, 2, 1), vpStsMemAllocErr);
            EXPECT_EQ(spec, nullptr);
            EXPECT_EQ(heapprobe::live(), 0) << orders.first << " " << orders.second << " failing " << k;
        }
    }
}

TEST(FFT2DSpec, QueryAndReleaseChecks) {
    int size = 5;
    EXPECT_EQ(vpiFFTGetBufSize_C_32fc_px(nullptr, &size), vpStsNullPtrErr);
    EXPECT_EQ(vpiFFTFree_C_32fc_px(nullptr), vpStsNullPtrErr);
    VpiFFTSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(vpiFFTInitAlloc_C_32fc_px(&spec, 3, 3, 2, 1), vpStsNoErr);
    EXPECT_EQ(vpiFFTGetBufSize_C_32fc_px(spec, nullptr), vpStsNullPtrErr);
    spec->id = 4;  // not a two-dimensional record: refused, nothing freed
    EXPECT_EQ(vpiFFTGetBufSize_C_32fc_px(spec, &size), vpStsContextMatchErr);
    EXPECT_EQ(vpiFFTFree_C_32fc_px(spec), vpStsContextMatchErr);
    EXPECT_EQ(size, 5);
    spec->id = 25;
    {
        heapprobe::Scope heap;
        EXPECT_EQ(vpiFFTFree_C_32fc_px(spec), vpStsNoErr);
        // Equal orders share one row record: the release frees it and the
        // two-dimensional record, once each.
        EXPECT_EQ(heapprobe::live(), -2);
    }
}

// ---------------------------------------------------------------- transforms

TEST(FFT2D, StatusOrder) {
    Spec2D spec(2, 2, VP_FFT_DIV_INV_BY_N);
    Image src = randomImage(4, 4, 0, 1), dst(4, 4, 0);
    Image before = dst;
    const auto call = [&](bool fwd, const Vp32fc* s, int ss, Vp32fc* d, int ds, const VpiFFTSpec_C_32fc* sp) {
        return fwd ? vpiFFTFwd_CToC_32fc_C1R_px(s, ss, d, ds, sp, nullptr)
                   : vpiFFTInv_CToC_32fc_C1R_px(s, ss, d, ds, sp, nullptr);
    };
    VpiFFTSpec_C_32fc other = *spec.p;
    other.id = 4;
    for (bool fwd : {true, false}) {
        EXPECT_EQ(call(fwd, nullptr, 0, nullptr, 0, nullptr), vpStsNullPtrErr);
        EXPECT_EQ(call(fwd, nullptr, 0, nullptr, 0, &other), vpStsContextMatchErr);
        EXPECT_EQ(call(fwd, nullptr, 32, dst.px.data(), 32, spec.p), vpStsNullPtrErr);
        EXPECT_EQ(call(fwd, src.px.data(), 32, nullptr, 32, spec.p), vpStsNullPtrErr);
        EXPECT_EQ(call(fwd, src.px.data(), 0, dst.px.data(), -32, spec.p), vpStsStepErr);
        EXPECT_EQ(call(fwd, src.px.data(), 32, dst.px.data(), 0, spec.p), vpStsStepErr);
        EXPECT_TRUE(sameImage(dst, before));
    }
    // No buffer and no memory: nothing written.
    heapprobe::Scope heap(1);
    EXPECT_EQ(call(true, src.px.data(), 32, dst.px.data(), 32, spec.p), vpStsMemAllocErr);
    EXPECT_TRUE(sameImage(dst, before));
}

// Every path of the row-column procedure against the reference, forward and
// inverse, with padded rows whose guard pixels must survive.
TEST(FFT2D, EveryShapeAgainstReference) {
    const std::pair<int, int> shapes[] = {{0, 0}, {3, 0}, {0, 3}, {1, 2}, {1, 4}, {2, 0}, {2, 2},
                                          {3, 1}, {3, 5}, {5, 3}, {7, 7}, {4, 6}, {11, 2}, {2, 11}};
    for (auto [ox, oy] : shapes) {
        const int W = 1 << ox, H = 1 << oy;
        for (int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_DIV_BY_SQRTN}) {
            Spec2D spec(ox, oy, flag);
            Image src = randomImage(W, H, 3, 40 + ox * 8 + oy);
            const double norm = std::sqrt(static_cast<double>(W) * H) * 0.82;
            for (bool fwd : {true, false}) {
                const std::vector<cd> want = reference2D(src, fwd ? -1 : 1);
                double scale = 1.0;
                if (flag == VP_FFT_DIV_BY_SQRTN) scale = 1.0 / std::sqrt(static_cast<double>(W) * H);
                if (flag == VP_FFT_DIV_INV_BY_N && !fwd) scale = 1.0 / (static_cast<double>(W) * H);
                Image dst(W, H, 1);
                ASSERT_EQ(run2D(fwd, src, dst, spec.p, nullptr), vpStsNoErr);
                EXPECT_LE(maxError(dst, want, scale), fftref::tolerance(static_cast<std::size_t>(W) * H, norm, scale))
                    << W << " x " << H << (fwd ? " forward" : " inverse") << " flag " << flag;
                EXPECT_TRUE(guardsIntact(dst));
            }
        }
    }
}

// In place, with a caller buffer that starts 4 bytes past a 16-byte boundary,
// with contiguous or padded single columns: the same floats as out of place
// without a buffer.
TEST(FFT2D, CallFormsGiveTheSameFloats) {
    const std::pair<int, int> shapes[] = {{0, 0}, {0, 5}, {1, 3}, {2, 2}, {4, 4}, {7, 7}, {6, 3}, {3, 11}, {12, 1}};
    for (auto [ox, oy] : shapes) {
        const int W = 1 << ox, H = 1 << oy;
        Spec2D spec(ox, oy, VP_FFT_DIV_INV_BY_N);
        int bufSize = 0;
        ASSERT_EQ(vpiFFTGetBufSize_C_32fc_px(spec.p, &bufSize), vpStsNoErr);
        for (bool fwd : {true, false}) {
            for (int pad : {0, 2}) {
                Image src = randomImage(W, H, pad, 60 + ox + oy);
                Image ref(W, H, pad);
                ASSERT_EQ(run2D(fwd, src, ref, spec.p, nullptr), vpStsNoErr);

                Image inPlace = src;
                ASSERT_EQ(run2D(fwd, inPlace, inPlace, spec.p, nullptr), vpStsNoErr);
                EXPECT_TRUE(sameImage(inPlace, ref)) << W << " x " << H << " in place";

                std::vector<Vp8u> store(bufSize + 32, 0x5A);
                Vp8u* buf = store.data();
                while (reinterpret_cast<std::uintptr_t>(buf) % 16 != 4) ++buf;
                Image dst(W, H, pad);
                Image srcCopy = src;
                ASSERT_EQ(run2D(fwd, src, dst, spec.p, buf), vpStsNoErr);
                EXPECT_TRUE(sameImage(dst, ref)) << W << " x " << H << " caller buffer";
                EXPECT_TRUE(sameImage(src, srcCopy));
                for (int i = 0; i < 12; ++i) EXPECT_EQ(buf[i], 0x5A);
                for (Vp8u* p = buf + bufSize; p < store.data() + store.size(); ++p) ASSERT_EQ(*p, 0x5A);
            }
        }
    }
}

// A transform with its own buffer allocates bufSize bytes once and releases them.
TEST(FFT2D, OwnBufferReleased) {
    Spec2D spec(7, 7, VP_FFT_DIV_INV_BY_N);
    Image src = randomImage(128, 128, 0, 3), dst(128, 128, 0);
    heapprobe::Scope heap;
    ASSERT_EQ(run2D(true, src, dst, spec.p, nullptr), vpStsNoErr);
    EXPECT_EQ(heapprobe::allocations(), 1);
    EXPECT_EQ(heapprobe::live(), 0);
}

// The engine's tile: forward with flag 2, then inverse, restores the image.
TEST(FFT2D, EngineTileRoundTrip) {
    for (int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_DIV_FWD_BY_N, VP_FFT_DIV_BY_SQRTN}) {
        Spec2D spec(7, 7, flag);
        int bufSize = 0;
        vpiFFTGetBufSize_C_32fc_px(spec.p, &bufSize);
        std::vector<Vp8u> buf(bufSize);
        Image src = randomImage(128, 128, 0, 9), freq(128, 128, 0), back(128, 128, 0);
        ASSERT_EQ(run2D(true, src, freq, spec.p, buf.data()), vpStsNoErr);
        ASSERT_EQ(run2D(false, freq, back, spec.p, buf.data()), vpStsNoErr);
        double e = 0;
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                e = std::max(e, std::abs(static_cast<double>(back.at(x, y).re) - src.at(x, y).re));
                e = std::max(e, std::abs(static_cast<double>(back.at(x, y).im) - src.at(x, y).im));
            }
        EXPECT_LE(e, 1e-6) << "flag " << flag;
    }
}

// A 1 x 1 image is copied, scaled by 1.
TEST(FFT2D, SinglePixel) {
    Spec2D spec(0, 0, VP_FFT_DIV_BY_SQRTN);
    Vp32fc s = {0.3f, -7.5f}, d = {};
    ASSERT_EQ(vpiFFTFwd_CToC_32fc_C1R_px(&s, 8, &d, 8, spec.p, nullptr), vpStsNoErr);
    EXPECT_EQ(d.re, 0.3f);
    EXPECT_EQ(d.im, -7.5f);
}

}  // namespace

namespace {

// ---------------------------------------------------------------- magnitude

TEST(FFT2DMagnitude, RowsOfPaddedImage) {
    const int W = 5, H = 3;
    Image src = randomImage(W, H, 2, 77);
    src.at(0, 0) = {3.0f, -4.0f};
    src.at(1, 0) = {0.0f, -0.0f};
    src.at(2, 0) = {3.0e38f, 3.0e38f};  // squares beyond single range
    const int dstStride = W + 3;
    std::vector<Vp32f> dst(static_cast<std::size_t>(dstStride) * H, -1.0f);
    ASSERT_EQ(vpiMagnitude_32fc32f_C1R_px(src.px.data(), src.step(), dst.data(), dstStride * 4, VpiSize{W, H}),
              vpStsNoErr);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const double re = src.at(x, y).re, im = src.at(x, y).im;
            EXPECT_EQ(dst[y * dstStride + x], static_cast<float>(std::sqrt(re * re + im * im))) << x << " " << y;
        }
        for (int x = W; x < dstStride; ++x) EXPECT_EQ(dst[y * dstStride + x], -1.0f);
    }
    EXPECT_EQ(dst[0], 5.0f);
    EXPECT_EQ(dst[1], 0.0f);
}

TEST(FFT2DMagnitude, StatusOrder) {
    Vp32fc s[4] = {};
    Vp32f d[4] = {7, 7, 7, 7};
    EXPECT_EQ(vpiMagnitude_32fc32f_C1R_px(nullptr, 8, d, 4, VpiSize{1, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiMagnitude_32fc32f_C1R_px(s, 8, nullptr, 4, VpiSize{0, 0}), vpStsNullPtrErr);
    EXPECT_EQ(vpiMagnitude_32fc32f_C1R_px(s, 0, d, 4, VpiSize{1, 0}), vpStsSizeErr);
    EXPECT_EQ(vpiMagnitude_32fc32f_C1R_px(s, 0, d, 4, VpiSize{0, 1}), vpStsSizeErr);
    EXPECT_EQ(vpiMagnitude_32fc32f_C1R_px(s, 0, d, 4, VpiSize{1, 1}), vpStsStepErr);
    EXPECT_EQ(vpiMagnitude_32fc32f_C1R_px(s, 8, d, -4, VpiSize{1, 1}), vpStsStepErr);
    for (float v : d) EXPECT_EQ(v, 7.0f);
}

// The engine's use: inverse transform, then magnitude, through the
// dispatched entries.
TEST(FFT2DMagnitude, ThroughTheDispatchedEntries) {
    VpiFFTSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(vpiFFTInitAlloc_C_32fc(&spec, 7, 7, VP_FFT_DIV_INV_BY_N, vpAlgHintFast), vpStsNoErr);
    int bufSize = 0;
    ASSERT_EQ(vpiFFTGetBufSize_C_32fc(spec, &bufSize), vpStsNoErr);
    std::vector<Vp8u> buf(bufSize);
    // A real image: its spectrum, back, and its magnitude is |image|.
    Image src(128, 128, 0);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) src.at(x, y) = {static_cast<float>(std::sin(0.1 * x + 0.05 * y)), 0.0f};
    Image freq(128, 128, 0), back(128, 128, 0);
    ASSERT_EQ(vpiFFTFwd_CToC_32fc_C1R(src.px.data(), 1024, freq.px.data(), 1024, spec, buf.data()), vpStsNoErr);
    ASSERT_EQ(vpiFFTInv_CToC_32fc_C1R(freq.px.data(), 1024, back.px.data(), 1024, spec, buf.data()), vpStsNoErr);
    std::vector<Vp32f> mag(128 * 128);
    ASSERT_EQ(vpiMagnitude_32fc32f_C1R(back.px.data(), 1024, mag.data(), 512, VpiSize{128, 128}), vpStsNoErr);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) EXPECT_NEAR(mag[y * 128 + x], std::fabs(src.at(x, y).re), 2e-6);
    EXPECT_EQ(vpiFFTFree_C_32fc(spec), vpStsNoErr);
}

}  // namespace
