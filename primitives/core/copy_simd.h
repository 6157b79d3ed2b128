// The image copies, the fill and the border replication of the SIMD levels,
// over a level's block kernels: each level file passes its own kernels, so
// the row walking, the merging of contiguous images and the checks are
// written once. No instructions of any level here.
//
//   copyBytes(const unsigned char* src, unsigned char* dst, size_t n, bool nonTemporal)
//   fillRow(Vp32f value, unsigned char* dst, size_t count, bool nonTemporal)
#pragma once

#include <cstddef>
#include <cstring>

#include "primitives/core/pixel_px.h"
#include "primitives/core/vp_types.h"

namespace vp_simd {

using vp_px::badSize;
using vp_px::rowAt;

// Above this many bytes a whole-region copy streams past the caches.
inline constexpr std::size_t kCopyStreamBytes = 0x20000;
// Above this many bytes a whole-region fill streams.
inline constexpr std::size_t kFillStreamBytes = 0x40000;

template <typename CopyBytes>
VpStatus copyImage(const void* pSrc, int srcStep, void* pDst, int dstStep, VpiSize roiSize, int pixelBytes,
                   bool alwaysStream, CopyBytes copyBytes) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    const std::size_t rowBytes = static_cast<std::size_t>(roiSize.width) * pixelBytes;
    const std::size_t total = rowBytes * static_cast<std::size_t>(roiSize.height);
    const bool nonTemporal = alwaysStream || total > kCopyStreamBytes;
    const auto* src = static_cast<const unsigned char*>(pSrc);
    auto* dst = static_cast<unsigned char*>(pDst);
    // Rows without gaps on both sides form one run.
    if (srcStep == dstStep && static_cast<std::size_t>(srcStep) == rowBytes) {
        copyBytes(src, dst, total, nonTemporal);
        return vpStsNoErr;
    }
    for (int y = 0; y < roiSize.height; ++y) copyBytes(rowAt(src, srcStep, y), rowAt(dst, dstStep, y), rowBytes, nonTemporal);
    return vpStsNoErr;
}

template <typename FillRow>
VpStatus setImage(Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize, bool alwaysStream, FillRow fillRow) {
    if (!pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (dstStep <= 0) return vpStsStepErr;
    const std::size_t width = static_cast<std::size_t>(roiSize.width);
    const bool nonTemporal = alwaysStream || 4 * width * static_cast<std::size_t>(roiSize.height) > kFillStreamBytes;
    for (int y = 0; y < roiSize.height; ++y)
        fillRow(value, reinterpret_cast<unsigned char*>(rowAt(pDst, dstStep, y)), width, nonTemporal);
    return vpStsNoErr;
}

// The border copy: the middle of each row and the copied rows through the
// level's block copy (never streaming), the left and right runs through its
// fill with the pixel's bit pattern.
template <typename CopyBytes, typename FillRow>
VpStatus replicateBorder(const Vp32s* pSrc, int srcStep, VpiSize srcRoiSize, Vp32s* pDst, int dstStep,
                         VpiSize dstRoiSize, int topBorderHeight, int leftBorderWidth, CopyBytes copyBytes,
                         FillRow fillRow) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (badSize(srcRoiSize) || badSize(dstRoiSize) || topBorderHeight < 0 || leftBorderWidth < 0)
        return vpStsSizeErr;
    const long long W = srcRoiSize.width, H = srcRoiSize.height;
    const long long Wd = dstRoiSize.width, Hd = dstRoiSize.height;
    const long long T = topBorderHeight, L = leftBorderWidth;
    if (Wd < W + L || Hd < H + T) return vpStsSizeErr;

    auto pattern = [](Vp32s v) {
        Vp32f f;
        std::memcpy(&f, &v, sizeof f);
        return f;
    };
    for (int i = 0; i < srcRoiSize.height; ++i) {
        const Vp32s* s = rowAt(pSrc, srcStep, i);
        Vp32s* d = rowAt(pDst, dstStep, static_cast<int>(T) + i);
        if (L > 0) fillRow(pattern(s[0]), reinterpret_cast<unsigned char*>(d), static_cast<std::size_t>(L), false);
        copyBytes(reinterpret_cast<const unsigned char*>(s), reinterpret_cast<unsigned char*>(d + L),
                  static_cast<std::size_t>(W) * 4, false);
        if (Wd > L + W)
            fillRow(pattern(s[W - 1]), reinterpret_cast<unsigned char*>(d + L + W),
                    static_cast<std::size_t>(Wd - L - W), false);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(Wd) * 4;
    const auto* lastRow = reinterpret_cast<const unsigned char*>(rowAt(pDst, dstStep, static_cast<int>(T + H - 1)));
    for (long long y = T + H; y < Hd; ++y)
        copyBytes(lastRow, reinterpret_cast<unsigned char*>(rowAt(pDst, dstStep, static_cast<int>(y))), rowBytes, false);
    const auto* firstRow = reinterpret_cast<const unsigned char*>(rowAt(pDst, dstStep, static_cast<int>(T)));
    for (long long y = 0; y < T; ++y)
        copyBytes(firstRow, reinterpret_cast<unsigned char*>(rowAt(pDst, dstStep, static_cast<int>(y))), rowBytes, false);
    return vpStsNoErr;
}

template <typename CopyBytes>
VpStatus copyVector(const Vp32f* pSrc, Vp32f* pDst, int len, std::size_t streamFromBytes, CopyBytes copyBytes) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    const std::size_t n = static_cast<std::size_t>(len) * 4;
    copyBytes(reinterpret_cast<const unsigned char*>(pSrc), reinterpret_cast<unsigned char*>(pDst), n,
              n >= streamFromBytes);
    return vpStsNoErr;
}

}  // namespace vp_simd

// The six copy routines of one level, from its block copy and row fill.
// alwaysStream: image copies and fills stream whatever their size.
// vectorStreamBytes: the float vector copy streams from this many bytes on.
#define VP_DEFINE_COPY_ROUTINES(level, copyBlock, fillRow, alwaysStream, vectorStreamBytes)                      \
    VpStatus vpiCopy_8u_C1R_##level(const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize) { \
        return vp_simd::copyImage(pSrc, srcStep, pDst, dstStep, roiSize, 1, alwaysStream, copyBlock);        \
    }                                                                                                          \
    VpStatus vpiCopy_8u_C3R_##level(const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize) { \
        return vp_simd::copyImage(pSrc, srcStep, pDst, dstStep, roiSize, 3, alwaysStream, copyBlock);        \
    }                                                                                                          \
    VpStatus vpiCopy_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,               \
                                     VpiSize roiSize) {                                                        \
        return vp_simd::copyImage(pSrc, srcStep, pDst, dstStep, roiSize, 4, alwaysStream, copyBlock);        \
    }                                                                                                          \
    VpStatus vpiCopyReplicateBorder_32s_C1R_##level(const Vp32s* pSrc, int srcStep, VpiSize srcRoiSize,      \
                                                    Vp32s* pDst, int dstStep, VpiSize dstRoiSize,             \
                                                    int topBorderHeight, int leftBorderWidth) {               \
        return vp_simd::replicateBorder(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize,                 \
                                        topBorderHeight, leftBorderWidth, copyBlock, fillRow);                \
    }                                                                                                          \
    VpStatus vpiSet_32f_C1R_##level(Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize) {                \
        return vp_simd::setImage(value, pDst, dstStep, roiSize, alwaysStream, fillRow);                       \
    }                                                                                                          \
    VpStatus vpsCopy_32f_##level(const Vp32f* pSrc, Vp32f* pDst, int len) {                                  \
        return vp_simd::copyVector(pSrc, pDst, len, vectorStreamBytes, copyBlock);                            \
    }
