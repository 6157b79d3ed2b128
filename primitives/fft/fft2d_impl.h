// The two-dimensional FFT layer, written once for every processor level. A
// level instantiates these templates with a policy Lv naming its own
// one-dimensional routines:
//   Lv::layout                          the level's FFTLevelLayout
//   Lv::initAlloc(pp, order, flag, hint), Lv::getBufSize(spec, pSize),
//   Lv::release(spec), Lv::releaseReal(spec)
// Include only from a level's file, with a policy local to that file.
#pragma once

#include <cstdint>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/fft/fft_internal.h"

namespace fft2d {

template <class Lv>
void destroy(VpiFFTSpec_C_32fc* spec) {
    if (!spec) return;
    spec->id = 0;
    if (spec->pRealSpec1) Lv::releaseReal(spec->pRealSpec1);
    if (spec->pRealSpec2) Lv::releaseReal(spec->pRealSpec2);
    if (spec->pRowSpec) Lv::release(spec->pRowSpec);
    if (spec->pColSpec) Lv::release(spec->pColSpec);
    vpsFree(spec);
}

// Bytes one transform needs: the larger of the row work area and the four
// gathered columns plus the column work area, and 16 bytes of alignment slack.
inline std::int64_t bufferBytes(int rowBuf, int colBuf, int orderY) {
    const std::int64_t columns =
        static_cast<std::int64_t>(static_cast<std::uint32_t>(colBuf)) + (std::int64_t{64} << orderY);
    const std::int64_t rows = static_cast<std::uint32_t>(rowBuf);
    return (rows > columns ? rows : columns) + 16;
}

template <class Lv>
VpStatus initAlloc(VpiFFTSpec_C_32fc** ppSpec, int orderX, int orderY, int flag, VpHintAlgorithm hint) {
    if (!ppSpec) return vpStsNullPtrErr;
    if (orderX < 0 || orderX > kFFTMaxOrder || orderY < 0 || orderY > kFFTMaxOrder) return vpStsFftOrderErr;
    // A work buffer or table too large for the allocator fails the creation
    // before anything is allocated.
    if (bufferBytes(0, 0, orderY) > INT32_MAX || !FFTTablesFit(Lv::layout, orderX) ||
        !FFTTablesFit(Lv::layout, orderY)) {
        return vpStsMemAllocErr;
    }
    auto* spec = static_cast<VpiFFTSpec_C_32fc*>(FFTAllocBytes(sizeof(VpiFFTSpec_C_32fc)));
    if (!spec) return vpStsMemAllocErr;
    std::memset(static_cast<void*>(spec), 0, sizeof(VpiFFTSpec_C_32fc));
    spec->id = kFFTSpecId2D;
    spec->orderX = orderX;
    spec->orderY = orderY;
    spec->hint = hint;

    VpStatus status = Lv::initAlloc(&spec->pRowSpec, orderX, flag, hint);
    if (status != vpStsNoErr) {
        destroy<Lv>(spec);
        return status;
    }
    int rowBuf = 0;
    Lv::getBufSize(spec->pRowSpec, &rowBuf);
    int colBuf = rowBuf;
    if (orderX != orderY) {
        status = Lv::initAlloc(&spec->pColSpec, orderY, flag, hint);
        if (status != vpStsNoErr) {
            destroy<Lv>(spec);
            return status;
        }
        colBuf = 0;
        Lv::getBufSize(spec->pColSpec, &colBuf);
    }
    const std::int64_t bytes = bufferBytes(rowBuf, colBuf, orderY);
    if (bytes > INT32_MAX) {
        destroy<Lv>(spec);
        return vpStsMemAllocErr;
    }
    spec->bufSize = static_cast<int>(bytes);
    *ppSpec = spec;
    return vpStsNoErr;
}

template <class Lv>
VpStatus getBufSize(const VpiFFTSpec_C_32fc* spec, int* pBufSize) {
    if (!pBufSize || !spec) return vpStsNullPtrErr;
    if (spec->id != kFFTSpecId2D) return vpStsContextMatchErr;
    *pBufSize = spec->bufSize;
    return vpStsNoErr;
}

template <class Lv>
VpStatus release(VpiFFTSpec_C_32fc* spec) {
    if (!spec) return vpStsNullPtrErr;
    if (spec->id != kFFTSpecId2D) return vpStsContextMatchErr;
    destroy<Lv>(spec);
    return vpStsNoErr;
}

inline const Vp8u* rowAt(const void* base, int step, std::int64_t r) {
    return static_cast<const Vp8u*>(base) + r * step;
}
inline Vp8u* rowAt(void* base, int step, std::int64_t r) { return static_cast<Vp8u*>(base) + r * step; }

// A level without batched passes.
struct NoBatch {
    static bool handles(int, int, std::int64_t) { return false; }
    static VpStatus run(const float*, int, float*, int, const VpsFFTSpec_C_32fc*, const VpsFFTSpec_C_32fc*, float*,
                        std::int64_t) {
        return vpStsNoErr;
    }
};

// Row-column transform; Fn is the level's one-dimensional forward or inverse
// routine. Rows go from the source to the destination, then the columns of
// the destination are gathered four at a time into the work buffer,
// transformed there in place and written back.
//
// Batch is the level's faster route for the same results when W and H are
// both 2 or more: Batch::handles(orderX, orderY, floats of the work area)
// says whether it takes the shape, Batch::run(src, srcStep, dst, dstStep,
// row record, column record, work area, its floats) then does both passes.
template <class Fn, class Batch = NoBatch>
VpStatus transform(Fn fft1d, const Vp32fc* pSrc, int srcStep, Vp32fc* pDst, int dstStep,
                   const VpiFFTSpec_C_32fc* spec, Vp8u* pBuffer, Batch batch = Batch()) {
    if (!spec) return vpStsNullPtrErr;
    if (spec->id != kFFTSpecId2D) return vpStsContextMatchErr;
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;

    Vp8u* own = nullptr;
    Vp8u* buf;
    if (pBuffer) {
        const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(pBuffer);
        buf = pBuffer + ((16 - (a & 15)) & 15);
    } else {
        own = vpsMalloc_8u(spec->bufSize);
        if (!own) return vpStsMemAllocErr;
        buf = own;
    }

    const std::int64_t W = std::int64_t{1} << spec->orderX;
    const std::int64_t H = std::int64_t{1} << spec->orderY;
    const VpsFFTSpec_C_32fc* rowSpec = spec->pRowSpec;
    const VpsFFTSpec_C_32fc* colSpec = spec->pColSpec ? spec->pColSpec : spec->pRowSpec;
    const float* src = reinterpret_cast<const float*>(pSrc);
    float* dst = reinterpret_cast<float*>(pDst);
    VpStatus status = vpStsNoErr;

    auto srcRow = [&](std::int64_t r) { return reinterpret_cast<const float*>(rowAt(src, srcStep, r)); };
    auto dstRow = [&](std::int64_t r) { return reinterpret_cast<float*>(rowAt(dst, dstStep, r)); };

    if (H == 1) {
        status = fft1d(src, dst, rowSpec, buf);
    } else if (W == 1) {
        if (srcStep == 8 && dstStep == 8) {
            status = fft1d(src, dst, colSpec, buf);
        } else {
            float* column = reinterpret_cast<float*>(buf);
            for (std::int64_t k = 0; k < H; ++k) std::memcpy(column + 2 * k, srcRow(k), 8);
            status = fft1d(column, column, colSpec, buf + 8 * H);
            if (status == vpStsNoErr) {
                for (std::int64_t k = 0; k < H; ++k) std::memcpy(dstRow(k), column + 2 * k, 8);
            }
        }
    } else if (batch.handles(spec->orderX, spec->orderY, (static_cast<std::int64_t>(spec->bufSize) - 16) / 4)) {
        status = batch.run(src, srcStep, dst, dstStep, rowSpec, colSpec, reinterpret_cast<float*>(buf),
                           (static_cast<std::int64_t>(spec->bufSize) - 16) / 4);
    } else {
        for (std::int64_t r = 0; r < H && status == vpStsNoErr; ++r) {
            status = fft1d(srcRow(r), dstRow(r), rowSpec, buf);
        }
        // Columns in groups of four (W = 2: one group of two).
        const int groupWidth = W >= 4 ? 4 : 2;
        float* columns = reinterpret_cast<float*>(buf);
        Vp8u* work = buf + 8 * H * groupWidth;
        for (std::int64_t c = 0; c < W && status == vpStsNoErr; c += groupWidth) {
            for (std::int64_t k = 0; k < H; ++k) {
                const float* row = dstRow(k) + 2 * c;
                for (int i = 0; i < groupWidth; ++i) std::memcpy(columns + 2 * (H * i + k), row + 2 * i, 8);
            }
            for (int i = 0; i < groupWidth && status == vpStsNoErr; ++i) {
                float* column = columns + 2 * H * i;
                status = fft1d(column, column, colSpec, work);
            }
            if (status != vpStsNoErr) break;
            for (std::int64_t k = 0; k < H; ++k) {
                float* row = dstRow(k) + 2 * c;
                for (int i = 0; i < groupWidth; ++i) std::memcpy(row + 2 * i, columns + 2 * (H * i + k), 8);
            }
        }
    }
    vpsFree(own);
    return status;
}

// Magnitude of a complex image, row by row through the level's vector
// magnitude; the first failing row status is returned after all rows.
template <class RowFn>
VpStatus magnitude(RowFn rowMagnitude, const Vp32fc* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (roiSize.height <= 0 || roiSize.width <= 0) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    VpStatus first = vpStsNoErr;
    for (std::int64_t r = 0; r < roiSize.height; ++r) {
        const auto* src = reinterpret_cast<const Vp32fc*>(rowAt(pSrc, srcStep, r));
        auto* dst = reinterpret_cast<Vp32f*>(rowAt(pDst, dstStep, r));
        const VpStatus status = rowMagnitude(src, dst, roiSize.width);
        if (first == vpStsNoErr) first = status;
    }
    return first;
}

}  // namespace fft2d
