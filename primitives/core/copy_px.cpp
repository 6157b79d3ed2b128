// px level of the copies, the border replication, the fill and the float vector copy.
#include <cstring>

#include "primitives/core/level_routines.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

VpStatus copyRows(const void* pSrc, int srcStep, void* pDst, int dstStep, VpiSize roiSize, int pixelBytes) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    const std::size_t rowBytes = static_cast<std::size_t>(roiSize.width) * pixelBytes;
    const char* src = static_cast<const char*>(pSrc);
    char* dst = static_cast<char*>(pDst);
    for (int y = 0; y < roiSize.height; ++y) std::memcpy(rowAt(dst, dstStep, y), rowAt(src, srcStep, y), rowBytes);
    return vpStsNoErr;
}

}  // namespace

VpStatus vpiCopy_8u_C1R_px(const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize) {
    return copyRows(pSrc, srcStep, pDst, dstStep, roiSize, 1);
}

VpStatus vpiCopy_8u_C3R_px(const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize) {
    return copyRows(pSrc, srcStep, pDst, dstStep, roiSize, 3);
}

VpStatus vpiCopy_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    return copyRows(pSrc, srcStep, pDst, dstStep, roiSize, 4);
}

VpStatus vpiCopyReplicateBorder_32s_C1R_px(const Vp32s* pSrc, int srcStep, VpiSize srcRoiSize, Vp32s* pDst,
                                           int dstStep, VpiSize dstRoiSize, int topBorderHeight,
                                           int leftBorderWidth) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    // Steps are checked before the sizes here.
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (badSize(srcRoiSize) || badSize(dstRoiSize) || topBorderHeight < 0 || leftBorderWidth < 0)
        return vpStsSizeErr;
    const long long W = srcRoiSize.width, H = srcRoiSize.height;
    const long long Wd = dstRoiSize.width, Hd = dstRoiSize.height;
    const int T = topBorderHeight, L = leftBorderWidth;
    if (Wd < W + L || Hd < H + T) return vpStsSizeErr;

    for (int i = 0; i < srcRoiSize.height; ++i) {
        const Vp32s* s = rowAt(pSrc, srcStep, i);
        Vp32s* d = rowAt(pDst, dstStep, T + i);
        const Vp32s first = s[0];
        const Vp32s last = s[W - 1];
        for (long long x = 0; x < L; ++x) d[x] = first;
        std::memcpy(d + L, s, static_cast<std::size_t>(W) * sizeof(Vp32s));
        for (long long x = L + W; x < Wd; ++x) d[x] = last;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(Wd) * sizeof(Vp32s);
    const Vp32s* lastRow = rowAt(pDst, dstStep, T + srcRoiSize.height - 1);
    for (int y = T + srcRoiSize.height; y < dstRoiSize.height; ++y)
        std::memcpy(rowAt(pDst, dstStep, y), lastRow, rowBytes);
    const Vp32s* firstRow = rowAt(pDst, dstStep, T);
    for (int y = 0; y < T; ++y) std::memcpy(rowAt(pDst, dstStep, y), firstRow, rowBytes);
    return vpStsNoErr;
}

VpStatus vpiSet_32f_C1R_px(Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    if (!pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (dstStep <= 0) return vpStsStepErr;
    // The value's bytes go to every pixel, whatever the destination's alignment.
    Vp32s pattern;
    std::memcpy(&pattern, &value, sizeof pattern);
    for (int y = 0; y < roiSize.height; ++y) {
        char* d = reinterpret_cast<char*>(rowAt(pDst, dstStep, y));
        for (int x = 0; x < roiSize.width; ++x) std::memcpy(d + static_cast<std::size_t>(x) * 4, &pattern, 4);
    }
    return vpStsNoErr;
}

VpStatus vpsCopy_32f_px(const Vp32f* pSrc, Vp32f* pDst, int len) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    std::memcpy(pDst, pSrc, static_cast<std::size_t>(len) * sizeof(Vp32f));
    return vpStsNoErr;
}
