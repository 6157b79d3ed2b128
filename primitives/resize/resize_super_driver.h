// The supersampling (area-averaging) driver, written once for every processor
// level. A level instantiates ResizeSuperSamplingT with a policy type that
// supplies
//   static const ResizeSuperKernel (*superKernels())[3];  // the level's [depth][form] table
//   static void* allocFloat(int count);                    // 4-byte elements, 32-byte aligned
// Include this header only from a level file; everything in it has internal
// linkage so that each level keeps the code compiled with its own flags.
#pragma once

#include <algorithm>
#include <cstdint>

#include "primitives/core/memory.h"
#include "primitives/resize/resize_internal.h"

namespace {

// Destination extent along one axis: trunc(factor * roi + 1e-7), at least 1,
// with the caller's extent as the upper limit.
inline int superExtent(double factor, int roi, int dstMax) {
    const double t = factor * roi + 1e-7;
    if (!(t < static_cast<double>(dstMax))) return dstMax;
    const int n = t > 0.0 ? static_cast<int>(t) : 0;
    return n > 0 ? n : 1;
}

// Window size along one axis (source pixels per destination pixel) and its share
// of the area scale. A window wider than the whole region (a factor times the
// region below 1) is cut at the region's edge: the one destination pixel then
// averages exactly the region's pixels along that axis.
struct SuperAxis {
    double ratio;
    double scale;
};

inline SuperAxis superAxis(double factor, int roi) {
    const double ratio = 1.0 / factor;
    if (ratio > static_cast<double>(roi)) return {static_cast<double>(roi), 1.0 / roi};
    return {ratio, factor};
}

// Accumulator length in pixels: the columns the windows can reach,
// trunc((dstWidth + 1) * xRatio) + 1, at most the region's width. dstWidth + 1
// is converted to double exactly: in single precision it would round beyond
// 2^24 columns, possibly down, and leave the last windows without their columns.
inline int superSourceColumns(int dstWidth, double xRatio, int roiWidth) {
    const double reach = (static_cast<double>(dstWidth) + 1.0) * xRatio;
    return reach + 1.0 >= static_cast<double>(roiWidth) ? roiWidth : static_cast<int>(reach) + 1;
}

template <class Level>
VpStatus ResizeSuperSamplingT(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst,
                              int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int nChannels,
                              int layout, int depth, int planar) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (srcSize.width <= 0 || srcSize.height <= 0) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    // 16-bit and float rows must start on an element boundary.
    if (!ResizeStepsFitElements(srcStep, dstStep, depth)) return vpStsStepErr;
    if (srcRoi.x < 0 || srcRoi.y < 0 || srcRoi.width <= 0 || srcRoi.height <= 0 || dstRoiSize.width <= 0 ||
        dstRoiSize.height <= 0)
        return vpStsSizeErr;
    if (srcRoi.x >= srcSize.width || srcRoi.y >= srcSize.height) return vpStsNoOperation;
    // Area averaging reduces: factors outside (0, 1] (and NaN) have no windows.
    if (!(xFactor > 0.0 && xFactor <= 1.0) || !(yFactor > 0.0 && yFactor <= 1.0)) return vpStsResizeFactorErr;
    if (!ResizePixelFormSupported(nChannels, layout, depth, planar)) return vpStsNotSupportedModeErr;

    const int roiWidth = std::min(srcRoi.width, srcSize.width - srcRoi.x);
    const int roiHeight = std::min(srcRoi.height, srcSize.height - srcRoi.y);
    const int dstWidth = superExtent(xFactor, roiWidth, dstRoiSize.width);
    const int dstHeight = superExtent(yFactor, roiHeight, dstRoiSize.height);

    const SuperAxis ax = superAxis(xFactor, roiWidth);
    const SuperAxis ay = superAxis(yFactor, roiHeight);
    const double xRatio = ax.ratio;
    const double yRatio = ay.ratio;
    const double areaScale = ax.scale * ay.scale;

    const int srcColumns = superSourceColumns(dstWidth, xRatio, roiWidth);

    const double xFrac = xRatio - static_cast<double>(static_cast<int>(xRatio));
    const double yFrac = yRatio - static_cast<double>(static_cast<int>(yRatio));
    const int mode = (xFrac != 0.0 ? 2 : 0) + (yFrac != 0.0 ? 1 : 0);

    const int elemSize = ResizeElementSize(depth);
    const int form = planar ? 0 : (layout == 1 ? 0 : (layout == 4 ? 2 : 1));
    const int entries = form == 0 ? 1 : (form == 2 ? 4 : nChannels);
    const std::int64_t accEntries = static_cast<std::int64_t>(srcColumns) * entries;
    if (accEntries > INT32_MAX / 4) return vpStsMemAllocErr;
    void* acc = (mode == 0 && depth != kResizeDepth32f)
                    ? static_cast<void*>(vpsMalloc_8u(static_cast<int>(accEntries * 4)))
                    : Level::allocFloat(static_cast<int>(accEntries));
    if (!acc) return vpStsMemAllocErr;

    const ResizeSuperKernel kernel = Level::superKernels()[depth][form];
    if (planar) {
        const std::int64_t offset = static_cast<std::int64_t>(srcRoi.y) * srcStep +
                                    static_cast<std::int64_t>(srcRoi.x) * elemSize;
        const int planes = layout == 3 ? 3 : 4;
        for (int p = 0; p < planes; ++p) {
            const Vp8u* src = static_cast<const Vp8u* const*>(pSrc)[p] + offset;
            void* dst = static_cast<void* const*>(pDst)[p];
            kernel(src, dst, srcStep, dstStep, srcColumns, roiHeight, dstWidth, dstHeight, xRatio, yRatio,
                   areaScale, nChannels, mode, acc);
        }
    } else {
        const Vp8u* src = static_cast<const Vp8u*>(pSrc) + static_cast<std::int64_t>(srcRoi.y) * srcStep +
                          static_cast<std::int64_t>(srcRoi.x) * nChannels * elemSize;
        kernel(src, pDst, srcStep, dstStep, srcColumns, roiHeight, dstWidth, dstHeight, xRatio, yRatio, areaScale,
               nChannels, mode, acc);
    }
    vpsFree(acc);
    return vpStsNoErr;
}

}  // namespace
