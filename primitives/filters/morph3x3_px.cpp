// 3x3 erosion and dilation of float images, plain level.
#include "primitives/core/level_routines.h"
#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/filters/morph_in_place.h"
#include "primitives/primitives.h"

namespace {

// a is the earlier operand. On ties both return the later operand; on a NaN
// erosion returns the later operand and dilation the earlier one.
inline Vp32f erodeOp(Vp32f a, Vp32f b) { return (b > a) ? a : b; }
inline Vp32f dilateOp(Vp32f a, Vp32f b) { return (b >= a) ? b : a; }

inline const Vp32f* offsetRow(const Vp32f* p, std::ptrdiff_t bytes) {
    return reinterpret_cast<const Vp32f*>(reinterpret_cast<const Vp8u*>(p) + bytes);
}
inline Vp32f* offsetRow(Vp32f* p, std::ptrdiff_t bytes) {
    return reinterpret_cast<Vp32f*>(reinterpret_cast<Vp8u*>(p) + bytes);
}

// The three-row column value is formed once per window column and kept in a
// rotating three-slot array; the slots are always combined in slot order.
template <Vp32f (*Op)(Vp32f, Vp32f)>
void morphRow(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    const Vp32f* top = window;
    const Vp32f* mid = offsetRow(window, srcStep);
    const Vp32f* bot = offsetRow(window, 2 * static_cast<std::ptrdiff_t>(srcStep));
    auto column = [&](int j) { return Op(Op(top[j], mid[j]), bot[j]); };
    Vp32f slot[3] = {column(0), column(1), column(2)};
    dstRow[0] = Op(Op(slot[0], slot[1]), slot[2]);
    for (int x = 1; x < width; ++x) {
        slot[(x - 1) % 3] = column(x + 2);
        dstRow[x] = Op(Op(slot[0], slot[1]), slot[2]);
    }
}

template <void (*Row)(const Vp32f*, int, Vp32f*, int)>
void rowLoop(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    for (int y = 0; y < roiSize.height; ++y) {
        Row(offsetRow(window, static_cast<std::ptrdiff_t>(y) * srcStep), srcStep,
            offsetRow(pDst, static_cast<std::ptrdiff_t>(y) * dstStep), roiSize.width);
    }
}

}  // namespace

VpStatus Morph3x3Check_px(const void* pSrc, int srcStep, const void* pDst, int dstStep, VpiSize roiSize,
                          int elemSize, int channels) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    const long long w = roiSize.width;
    if (srcStep < static_cast<long long>(elemSize) * (w + 2) * channels ||
        dstStep < static_cast<long long>(elemSize) * w * channels)
        return vpStsStrideErr;
    return vpStsNoErr;
}

VpStatus Morph3x3CheckInPlace_px(const void* pSrcDst, int srcDstStep, VpiSize roiSize, int elemSize,
                                 int channels) {
    if (!pSrcDst) return vpStsNullPtrErr;
    if (srcDstStep <= 0) return vpStsStepErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    if (srcDstStep < static_cast<long long>(elemSize) * (roiSize.width + 2LL) * channels) return vpStsStrideErr;
    return vpStsNoErr;
}

void Erode3x3Row_px(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    morphRow<erodeOp>(window, srcStep, dstRow, width);
}
void Dilate3x3Row_px(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    morphRow<dilateOp>(window, srcStep, dstRow, width);
}
void Erode3x3RowLoop_px(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    rowLoop<Erode3x3Row_px>(window, srcStep, pDst, dstStep, roiSize);
}
void Dilate3x3RowLoop_px(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    rowLoop<Dilate3x3Row_px>(window, srcStep, pDst, dstStep, roiSize);
}

VpStatus vpiErode3x3_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3Check_px(pSrc, srcStep, pDst, dstStep, roiSize, 4, 1);
    if (status != vpStsNoErr) return status;
    Erode3x3RowLoop_px(offsetRow(pSrc, -static_cast<std::ptrdiff_t>(srcStep)) - 1, srcStep, pDst, dstStep,
                       roiSize);
    return vpStsNoErr;
}

VpStatus vpiDilate3x3_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3Check_px(pSrc, srcStep, pDst, dstStep, roiSize, 4, 1);
    if (status != vpStsNoErr) return status;
    Dilate3x3RowLoop_px(offsetRow(pSrc, -static_cast<std::ptrdiff_t>(srcStep)) - 1, srcStep, pDst, dstStep,
                        roiSize);
    return vpStsNoErr;
}

VpStatus vpiErode3x3_32f_C1IR_px(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3CheckInPlace_px(pSrcDst, srcDstStep, roiSize, 4, 1);
    if (status != vpStsNoErr) return status;
    return morph_in_place::erode3x3(pSrcDst, srcDstStep, roiSize, Erode3x3Row_px, vpsCopy_32f_px);
}
