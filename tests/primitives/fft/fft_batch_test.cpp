// The px two-dimensional transforms run their row and column passes on
// several transforms side by side. Their results must keep every bit of the
// plain row-column method: each row through the one-dimensional px entry,
// then each column gathered, transformed by the same entry and scattered.
// These checks compare the two bit for bit on random data, for every shape
// the batched passes take (both orders 4 to 10) and the shapes beside them,
// every normalisation flag, both directions, in place and out of place,
// padded rows, with and without the caller's buffer.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/fft/fft_px.h"
#include "primitives/primitives.h"

namespace {

// Rows of `stride` floats (W complex values, then padding).
struct Plane {
    int W, H, stride;
    std::vector<float> v;
    Plane(int w, int h, int padFloats)
        : W(w), H(h), stride(2 * w + padFloats), v(static_cast<std::size_t>(stride) * h) {}
    int step() const { return stride * 4; }
    float* row(int y) { return v.data() + static_cast<std::size_t>(y) * stride; }
    Vp32fc* data() { return reinterpret_cast<Vp32fc*>(v.data()); }
};

Plane randomPlane(int W, int H, int padFloats, std::uint32_t seed) {
    Plane p(W, H, padFloats);
    std::mt19937 gen(seed);
    // Values of several magnitudes, so that every rounding step matters.
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::uniform_int_distribution<int> expo(-6, 6);
    for (float& f : p.v) f = std::ldexp(dist(gen), expo(gen));
    return p;
}

// The plain row-column method through the one-dimensional px entries.
void plain2D(bool forward, const VpiFFTSpec_C_32fc* spec, Plane& src, Plane& dst) {
    const int W = src.W, H = src.H;
    const VpsFFTSpec_C_32fc* rowSpec = spec->pRowSpec;
    const VpsFFTSpec_C_32fc* colSpec = spec->pColSpec ? spec->pColSpec : spec->pRowSpec;
    auto fft1d = [forward](const float* in, float* out, const VpsFFTSpec_C_32fc* s) {
        const VpStatus st =
            forward ? vpsFFTFwd_CToC_32fc_px(in, out, s, nullptr) : vpsFFTInv_CToC_32fc_px(in, out, s, nullptr);
        ASSERT_EQ(st, vpStsNoErr);
    };
    for (int y = 0; y < H; ++y) fft1d(src.row(y), dst.row(y), rowSpec);
    std::vector<float> column(2 * static_cast<std::size_t>(H));
    for (int x = 0; x < W; ++x) {
        for (int y = 0; y < H; ++y) std::memcpy(&column[2 * y], dst.row(y) + 2 * x, 8);
        fft1d(column.data(), column.data(), colSpec);
        for (int y = 0; y < H; ++y) std::memcpy(dst.row(y) + 2 * x, &column[2 * y], 8);
    }
}

// Every float of the W x H pixels equal bit for bit, and the padding after
// each row as it was before the call.
void expectSameBits(Plane& got, Plane& want, const Plane& before, const char* what) {
    for (int y = 0; y < got.H; ++y) {
        ASSERT_EQ(std::memcmp(got.row(y), want.row(y), 8 * static_cast<std::size_t>(got.W)), 0)
            << what << ": row " << y << " of " << got.W << " x " << got.H;
        const std::size_t rowStart = static_cast<std::size_t>(y) * got.stride;
        for (int i = 2 * got.W; i < got.stride; ++i) {
            ASSERT_EQ(std::memcmp(&got.v[rowStart + i], &before.v[rowStart + i], 4), 0) << what << ": padding";
        }
    }
}

enum class Form { OutOfPlaceBuffer, InPlaceOffsetBuffer, OutOfPlaceOwnBuffer, InPlaceOwnBuffer };

void checkShape(int orderX, int orderY, int flag, Form form, std::uint32_t seed) {
    const int W = 1 << orderX, H = 1 << orderY;
    VpiFFTSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(vpiFFTInitAlloc_C_32fc_px(&spec, orderX, orderY, flag, vpAlgHintFast), vpStsNoErr);
    int bufSize = 0;
    ASSERT_EQ(vpiFFTGetBufSize_C_32fc_px(spec, &bufSize), vpStsNoErr);
    // A buffer of exactly bufSize bytes, starting 4 bytes past a 16-byte
    // boundary for the offset form.
    std::vector<Vp8u> storage(static_cast<std::size_t>(bufSize) + 32);
    Vp8u* aligned = storage.data() + ((16 - (reinterpret_cast<std::uintptr_t>(storage.data()) & 15)) & 15);
    Vp8u* buffer = nullptr;
    if (form == Form::OutOfPlaceBuffer) buffer = aligned;
    if (form == Form::InPlaceOffsetBuffer) buffer = aligned + 4;
    const bool inPlace = form == Form::InPlaceOffsetBuffer || form == Form::InPlaceOwnBuffer;
    const int pad = (form == Form::OutOfPlaceOwnBuffer || form == Form::InPlaceOffsetBuffer) ? 3 : 0;

    for (const bool forward : {true, false}) {
        Plane src = randomPlane(W, H, pad, seed + (forward ? 0 : 1));
        Plane want(W, H, pad);
        plain2D(forward, spec, src, want);

        Plane got = inPlace ? src : randomPlane(W, H, pad + 2, seed + 2);
        const Plane before = got;
        const Vp32fc* in = inPlace ? got.data() : src.data();
        const int inStep = inPlace ? got.step() : src.step();
        const VpStatus status = forward ? vpiFFTFwd_CToC_32fc_C1R_px(in, inStep, got.data(), got.step(), spec, buffer)
                                        : vpiFFTInv_CToC_32fc_C1R_px(in, inStep, got.data(), got.step(), spec, buffer);
        ASSERT_EQ(status, vpStsNoErr);
        expectSameBits(got, want, before, forward ? "forward" : "inverse");
    }
    vpiFFTFree_C_32fc_px(spec);
}

TEST(FFT2DBatch, EveryBatchedShapeMatchesTheRowColumnMethodBitForBit) {
    const int flags[] = {VP_FFT_DIV_FWD_BY_N, VP_FFT_DIV_INV_BY_N, VP_FFT_DIV_BY_SQRTN, VP_FFT_NODIV_BY_ANY};
    const Form forms[] = {Form::OutOfPlaceBuffer, Form::InPlaceOffsetBuffer, Form::OutOfPlaceOwnBuffer,
                          Form::InPlaceOwnBuffer};
    int i = 0;
    for (int orderY = 4; orderY <= 10; ++orderY) {
        for (int orderX = 4; orderX <= 10; ++orderX) {
            if (orderX + orderY > 15) continue;  // the largest shapes below
            SCOPED_TRACE(testing::Message() << "orders " << orderX << " x " << orderY);
            checkShape(orderX, orderY, flags[i % 4], forms[(i / 4 + i) % 4], 1000 + i);
            ++i;
        }
    }
    for (const auto& shape : {std::pair{10, 10}, std::pair{10, 6}, std::pair{6, 10}}) {
        SCOPED_TRACE(testing::Message() << "orders " << shape.first << " x " << shape.second);
        checkShape(shape.first, shape.second, flags[i % 4], forms[i % 4], 1000 + i);
        ++i;
    }
}

TEST(FFT2DBatch, EngineTileInEveryFormAndFlag) {
    const int flags[] = {VP_FFT_DIV_FWD_BY_N, VP_FFT_DIV_INV_BY_N, VP_FFT_DIV_BY_SQRTN, VP_FFT_NODIV_BY_ANY};
    const Form forms[] = {Form::OutOfPlaceBuffer, Form::InPlaceOffsetBuffer, Form::OutOfPlaceOwnBuffer,
                          Form::InPlaceOwnBuffer};
    std::uint32_t seed = 7;
    for (const int flag : flags) {
        for (const Form form : forms) {
            SCOPED_TRACE(testing::Message() << "flag " << flag << ", form " << static_cast<int>(form));
            checkShape(7, 7, flag, form, seed++);
        }
    }
}

TEST(FFT2DBatch, InfinitiesAndNaNsLandWhereTheyDo) {
    // A NaN's sign and payload follow from which operand of an instruction
    // the compiler puts first, so only NaN-ness is compared for them; every
    // other value, infinities included, keeps its bits.
    const std::uint32_t specials[] = {0x7fc00001u, 0xffc00002u, 0x7f800000u, 0xff800000u, 0x7fa00003u};
    for (const int flag : {VP_FFT_DIV_INV_BY_N, VP_FFT_NODIV_BY_ANY}) {
        VpiFFTSpec_C_32fc* spec = nullptr;
        ASSERT_EQ(vpiFFTInitAlloc_C_32fc_px(&spec, 7, 7, flag, vpAlgHintFast), vpStsNoErr);
        for (const bool forward : {true, false}) {
            SCOPED_TRACE(testing::Message() << "flag " << flag << (forward ? ", forward" : ", inverse"));
            Plane src = randomPlane(128, 128, 0, 77);
            for (int i = 0; i < 5; ++i) std::memcpy(&src.v[(i * 7919) % src.v.size()], &specials[i], 4);
            // One row of only infinities of both signs: finite lanes beside it
            // in the same batch.
            for (int x = 0; x < 128; ++x) std::memcpy(src.row(40) + 2 * x, &specials[2 + (x & 1)], 4);
            Plane want(128, 128, 0), got(128, 128, 0);
            plain2D(forward, spec, src, want);
            const VpStatus status =
                forward ? vpiFFTFwd_CToC_32fc_C1R_px(src.data(), src.step(), got.data(), got.step(), spec, nullptr)
                        : vpiFFTInv_CToC_32fc_C1R_px(src.data(), src.step(), got.data(), got.step(), spec, nullptr);
            ASSERT_EQ(status, vpStsNoErr);
            int mismatches = 0;
            for (std::size_t i = 0; i < got.v.size(); ++i) {
                const bool bothNaN = std::isnan(got.v[i]) && std::isnan(want.v[i]);
                if (!bothNaN && std::memcmp(&got.v[i], &want.v[i], 4) != 0) ++mismatches;
            }
            EXPECT_EQ(mismatches, 0);
        }
        vpiFFTFree_C_32fc_px(spec);
    }
}

TEST(FFT2DBatch, ShapesBesideTheBatchedOnesMatchToo) {
    // Orders below 4 or above 10 on one side keep the one-at-a-time passes.
    const std::pair<int, int> shapes[] = {{3, 7}, {7, 3}, {1, 5}, {5, 1}, {2, 2}, {11, 4}, {4, 11}, {0, 6}, {6, 0}};
    int i = 0;
    for (const auto& [orderX, orderY] : shapes) {
        SCOPED_TRACE(testing::Message() << "orders " << orderX << " x " << orderY);
        checkShape(orderX, orderY, VP_FFT_DIV_BY_SQRTN, static_cast<Form>(i % 4), 500 + i);
        ++i;
    }
}

}  // namespace
