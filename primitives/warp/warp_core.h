// The affine-warp core, written once for every processor level. Each level's
// file instantiates it with a policy naming that level's helpers and kernel
// table, so the core is compiled with the level's flags and calls nothing of
// another level:
//
//   struct Level {
//       static VpStatus quad(VpiRect, double[4][2], const double[2][3]);
//       static int convexity(const double[4][2]);
//       static void inverse(int, int, int, int, const double[4][2], WarpInverseCoeffs*, int*, int);
//       static int spans(const double[4][2], int, int, int, int, int, WarpRowSpan**, int*, int*);
//       static void smoothEdges(void*, int, int, const double[4][2], int, int, int, int, int);
//       static const WarpRowKernel* table();
//       static constexpr bool kCubicScratch;  // the level's cubic kernels need a scratch row
//   };
#pragma once

#include <cmath>
#include <cstdint>

#include "primitives/core/memory.h"
#include "primitives/warp/warp_internal.h"

template <class Level>
VpStatus WarpAffineCoreT(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                         VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation) {
    // Only the eighteen formats of the kernel table exist.
    if (formatCode < 0 || (formatCode >> 3) > kWarpDepth16u || (formatCode & 7) > kWarpLayoutP4)
        return vpStsNotSupportedModeErr;
    const int layout = formatCode & 7;
    const int planes = WarpLayoutPlanes(layout);

    // Checks, in this order; the first failing one decides.
    if (!pSrc || !pDst || !coeffs) return vpStsNullPtrErr;
    if (srcSize.width <= 0 || srcSize.height <= 0) return vpStsSizeErr;
    if (srcRoi.x < 0 || srcRoi.y < 0 || srcRoi.width <= 0 || srcRoi.height <= 0) return vpStsSizeErr;
    if (dstRoi.x < 0 || dstRoi.y < 0 || dstRoi.width <= 0 || dstRoi.height <= 0) return vpStsSizeErr;
    // The destination rectangle's far corner must exist as an int.
    if (static_cast<std::int64_t>(dstRoi.x) + dstRoi.width - 1 > INT_MAX ||
        static_cast<std::int64_t>(dstRoi.y) + dstRoi.height - 1 > INT_MAX)
        return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    const int smoothEdge = interpolation & VPI_SMOOTH_EDGE;
    int interp = interpolation & 0x7FFFFFFF;
    if (interp != VPI_INTER_NN && interp != VPI_INTER_LINEAR && interp != VPI_INTER_CUBIC)
        return vpStsInterpolationErr;
    const void* srcPlanes[4] = {};
    void* dstPlanes[4] = {};
    if (planes) {
        const void* const* s = static_cast<const void* const*>(pSrc);
        void* const* d = static_cast<void* const*>(pDst);
        for (int k = 0; k < 3; ++k)
            if (!s[k]) return vpStsNullPtrErr;
        for (int k = 0; k < 3; ++k)
            if (!d[k]) return vpStsNullPtrErr;
        if (planes == 4 && (!s[3] || !d[3])) return vpStsNullPtrErr;
        for (int k = 0; k < planes; ++k) {
            srcPlanes[k] = s[k];
            dstPlanes[k] = d[k];
        }
    }

    // Degenerate map.
    const double det = (coeffs[0][0] * coeffs[1][1] + 0.0) - coeffs[0][1] * coeffs[1][0];
    if (!(std::fabs(det) > 1e-7)) return vpStsCoeffErr;

    // Cubic needs four source columns and rows; smaller images go linear.
    if (interp == VPI_INTER_CUBIC && (srcSize.width < 4 || srcSize.height < 4)) interp = VPI_INTER_LINEAR;

    // A region that starts outside the source leaves nothing to do.
    if (srcRoi.x >= srcSize.width || srcRoi.y >= srcSize.height) return vpStsNoErr;
    VpiRect clipped = srcRoi;
    if (clipped.width > srcSize.width - clipped.x) clipped.width = srcSize.width - clipped.x;
    if (clipped.height > srcSize.height - clipped.y) clipped.height = srcSize.height - clipped.y;
    if (clipped.width < 2 || clipped.height < 2) return vpStsWrongIntersectROI;

    double quad[4][2];
    Level::quad(clipped, quad, coeffs);
    const int convex = Level::convexity(quad);
    if (convex == -4 || convex == -5) return vpStsCoeffErr;

    const int sx0 = clipped.x, sy0 = clipped.y;
    const int sx1 = clipped.x + clipped.width - 1, sy1 = clipped.y + clipped.height - 1;
    const int dx0 = dstRoi.x, dy0 = dstRoi.y;
    const int dx1 = dstRoi.x + (dstRoi.width - 1), dy1 = dstRoi.y + (dstRoi.height - 1);

    WarpInverseCoeffs inverse;
    int orientation = 0;
    Level::inverse(sx0, sy0, sx1, sy1, quad, &inverse, &orientation, 0);

    WarpRowSpan* spans = nullptr;
    int firstRow = 0, lastRow = -1;
    const int built = Level::spans(quad, dx0, dy0, dx1, dy1, orientation, &spans, &firstRow, &lastRow);
    if (built == kWarpSpansAllocFailed) return vpStsMemAllocErr;
    if (built != kWarpSpansBuilt) return vpStsNoOperation;

    void* buffer = nullptr;
    if (Level::kCubicScratch && interp == VPI_INTER_CUBIC) {
        // Two floats per destination column.
        const std::int64_t bytes = 8 * static_cast<std::int64_t>(dstRoi.width);
        if (bytes <= INT_MAX) buffer = vpsMalloc_8u(static_cast<int>(bytes));
        if (!buffer) {
            vpsFree(spans);
            return vpStsMemAllocErr;
        }
    }

    // The kernel gets the start of row firstRow; for planar layouts a private
    // copy of the plane array, so the caller's array is never modified.
    const std::ptrdiff_t rowOffset = static_cast<std::ptrdiff_t>(firstRow) * dstStep;
    const void* kernelSrc = pSrc;
    void* kernelDst;
    void* dstRows[4] = {};
    if (planes) {
        for (int k = 0; k < planes; ++k) dstRows[k] = static_cast<unsigned char*>(dstPlanes[k]) + rowOffset;
        kernelSrc = srcPlanes;
        kernelDst = dstRows;
    } else {
        kernelDst = static_cast<unsigned char*>(pDst) + rowOffset;
    }
    const WarpRowKernel kernel = Level::table()[WarpKernelIndex(formatCode, interp)];
    kernel(kernelSrc, kernelDst, srcStep, dstStep, firstRow, lastRow, spans, &inverse, srcSize.width - 1,
           srcSize.height - 1, buffer);

    vpsFree(buffer);
    vpsFree(spans);

    if (smoothEdge) {
        void* edgeDst = planes ? static_cast<void*>(dstPlanes) : pDst;
        Level::smoothEdges(edgeDst, dstStep, formatCode, quad, dx0, dy0, dx1, dy1, orientation);
    }
    return vpStsNoErr;
}
