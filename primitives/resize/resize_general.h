// The general resize driver, written once for every processor level.
//
// A level instantiates ResizeGeneralT with a small policy type that supplies
//   static const ResizeKernelEntry* kernels();     // the level's kernel table
//   static void* allocFloat(int count);             // 4-byte elements, 32-byte aligned
//   static double quotient(double num, double den); // how the level forms num / den
// and nothing else differs between the levels' drivers (ResizeEntryT below
// takes a few more members). Include this header only
// from a level file; everything in it has internal linkage so that each level
// keeps the code compiled with its own flags.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "primitives/core/memory.h"
#include "primitives/resize/resize.h"
#include "primitives/resize/resize_internal.h"

namespace {

// Truncation toward zero of v, clamped to [lo, hi]. In-range values convert as
// a plain truncation; NaN and values beyond the int range never reach the
// conversion.
inline int resizeTruncClamp(double v, int lo, int hi) {
    if (!(v > static_cast<double>(lo))) return lo;
    if (v >= static_cast<double>(hi)) return hi;
    return static_cast<int>(v);
}

// Extent of the destination along one axis, with the caller's extent dstMax as
// the upper limit: min(dstMax, max(trunc(v), 1)) for v >= 0. An infinite or huge
// v keeps dstMax and never reaches a float-to-int conversion.
inline int resizeLimitedExtent(double v, int dstMax) {
    if (!(v < static_cast<double>(dstMax))) return dstMax;
    const int n = v > 0.0 ? static_cast<int>(v) : 0;
    return std::max(n, 1);
}

// Exact integrality of a scale factor or of its reciprocal, as nearest neighbour
// judges it. std::trunc keeps infinite factors away from an integer conversion
// (inf - inf is NaN, so an infinite factor counts as not integral).
inline bool resizeRatioIsIntegral(double factor) {
    if (factor >= 1.0) return factor - std::trunc(factor) == 0.0;
    const double q = 1.0 / factor;
    return q - std::trunc(q) == 0.0;
}

struct ResizeAxisPlan {
    int extent;    // destination pixels along the axis
    double step;   // source pixels per destination pixel
    double start;  // position of destination pixel 0 (shift plus offset)
};

template <class Level>
ResizeAxisPlan resizePlanAxis(int roi, int dstMax, double factor, double shift, int interpolation,
                              int scaleMode) {
    ResizeAxisPlan plan{dstMax, 0.0, shift};
    const bool nn = interpolation == VPI_INTER_NN;
    if (scaleMode == 1) {
        plan.extent = resizeLimitedExtent(roi * factor + 1e-7, dstMax);
        const double scaled = roi * factor;
        const double cornerStep = scaled > 1.0 ? Level::quotient(roi - 1, scaled - 1.0) : 0.0;
        if (nn && resizeRatioIsIntegral(factor)) {
            plan.step = 1.0 / factor;
        } else {
            plan.step = cornerStep;
            if (nn) plan.start = shift + 0.5;
        }
        return plan;
    }
    // scaleMode 0: the factor is the source step itself.
    plan.step = factor;
    if (nn && !resizeRatioIsIntegral(factor)) plan.start = shift + 0.5;
    bool nearIntegral = false;
    if (nn) {
        const double r = factor >= 1.0 ? factor : 1.0 / factor;
        nearIntegral = std::fabs(r - std::trunc(r + 1e-7)) < 1e-7;
    }
    if (nearIntegral) {
        plan.extent = resizeLimitedExtent(Level::quotient(roi, factor) + 1e-7, dstMax);
    } else {
        const double k = Level::quotient(roi - 1, factor) + 1e-7;
        // kx < dstMax - 1 shrinks the extent to kx + 1.
        if (k < static_cast<double>(dstMax) - 1.0) {
            const int kx = k > 0.0 ? static_cast<int>(k) : 0;
            if (kx < dstMax - 1) plan.extent = std::max(kx + 1, 1);
        }
    }
    return plan;
}

// Offset and weight tables along one axis. roiStart/srcExtent locate the clipped
// region in the image; unit is the element distance of one index step (source
// row step, or pixel stride for columns).
//
// Nearest neighbour: offsets only.
inline void resizeFillNN(int* offsets, int count, const ResizeAxisPlan& plan, int roiStart, int srcExtent,
                         int unit) {
    const int lo = -roiStart;
    const int hi = srcExtent - 1 - roiStart;
    double pos = plan.start;
    for (int i = 0; i < count; ++i) {
        const int r = resizeTruncClamp(pos + 1e-7, lo, hi);
        offsets[i] = r * unit;
        pos += plan.step;
    }
}

// Linear: the base index r and the weight of index r + 1; at the image's last
// row (column) the pair moves up one so that the last sample gets the full weight.
// fixedWeights: Q14 weights (rows: one uint16; columns: the pair (w0, w1));
// otherwise float weights.
inline void resizeFillLinear(int* offsets, void* weights, bool pairs, bool fixedWeights, int count,
                             const ResizeAxisPlan& plan, int roiStart, int srcExtent, int unit) {
    const int lo = -roiStart;
    const int last = srcExtent - 1 - roiStart;
    double pos = plan.start;
    for (int i = 0; i < count; ++i) {
        int r = resizeTruncClamp(pos + 1e-7, lo, last);
        const bool atLast = r == last;
        if (fixedWeights) {
            int w;
            if (atLast) {
                w = 16384;
            } else {
                w = resizeTruncClamp((pos - r) * 16384.0 + 1e-7, 0, 16384);
            }
            if (pairs) {
                Vp16u* pair = static_cast<Vp16u*>(weights) + 2 * i;
                pair[0] = static_cast<Vp16u>(16384 - w);
                pair[1] = static_cast<Vp16u>(w);
            } else {
                static_cast<Vp16u*>(weights)[i] = static_cast<Vp16u>(w);
            }
        } else {
            static_cast<float*>(weights)[i] = atLast ? 1.0f : static_cast<float>(pos - r);
        }
        if (atLast) r -= 1;
        offsets[i] = r * unit;
        pos += plan.step;
    }
}

// Cubic: base index r with r - 1 .. r + 2 inside the image, and the float offset
// of the position from r (in [-1, 0) in the first row, [1, 2) in the second to
// last, 2.0 in the last).
inline void resizeFillCubic(int* offsets, float* weights, int count, const ResizeAxisPlan& plan,
                            int roiStart, int srcExtent, int unit) {
    const int lo = -roiStart;
    const int hi = srcExtent - 1 - roiStart;
    double pos = plan.start;
    for (int i = 0; i < count; ++i) {
        int r = resizeTruncClamp(pos + 1e-7, lo, hi);
        const int abs = r + roiStart;
        double t;
        if (abs == srcExtent - 1) {
            t = 2.0;
            r -= 2;
        } else if (abs == 0) {
            r += 1;
            t = pos - r;
        } else if (abs == srcExtent - 2) {
            r -= 1;
            t = pos - r;
        } else {
            t = pos - r;
        }
        offsets[i] = r * unit;
        weights[i] = static_cast<float>(t);
        pos += plan.step;
    }
}

template <class Level>
VpStatus ResizeGeneralT(const void* pSrc, int srcWidth, int srcHeight, int srcStep, int roiX, int roiY,
                        int roiWidth, int roiHeight, void* pDst, int dstStep, int dstWidth, int dstHeight,
                        double xFactor, double yFactor, double xShift, double yShift, int nChannels,
                        int layout, int depth, int planar, int interpolation, int scaleMode) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (srcWidth <= 0 || srcHeight <= 0) return vpStsSizeErr;
    if (srcStep < 1 || dstStep < 1) return vpStsStepErr;
    // Rows of 16-bit and float elements must start on an element boundary:
    // a step that is not a multiple of the element size would load them
    // misaligned from the second row on.
    if (!ResizeStepsFitElements(srcStep, dstStep, depth)) return vpStsStepErr;
    if (roiX < 0 || roiY < 0 || roiWidth <= 0 || roiHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return vpStsSizeErr;
    if (roiX >= srcWidth || roiY >= srcHeight) return vpStsNoOperation;
    if (!(xFactor > 0.0) || !(yFactor > 0.0)) return vpStsResizeFactorErr;
    if (interpolation != VPI_INTER_NN && interpolation != VPI_INTER_LINEAR && interpolation != VPI_INTER_CUBIC)
        return vpStsInterpolationErr;
    // Internal callers pass fixed forms; anything else is refused rather than
    // indexing past the kernel table.
    if (!ResizePixelFormSupported(nChannels, layout, depth, planar)) return vpStsNotSupportedModeErr;

    const int elemShift = depth == kResizeDepth8u ? 0 : (depth == kResizeDepth16u ? 1 : 2);
    const int pixStride = (layout == 1 || planar) ? 1 : nChannels;
    const int srcStepE = srcStep >> elemShift;
    const int dstStepE = dstStep >> elemShift;
    // Offsets travel as 32-bit ints: refuse images whose offsets would not fit.
    if (static_cast<std::int64_t>(srcHeight) * srcStepE > INT32_MAX ||
        static_cast<std::int64_t>(srcWidth) * pixStride > INT32_MAX)
        return vpStsSizeErr;

    // Small sources, judged on the whole image.
    if (srcWidth < 2 || srcHeight < 2) {
        interpolation = VPI_INTER_NN;
    } else if ((srcWidth < 4 || srcHeight < 4) && interpolation == VPI_INTER_CUBIC) {
        interpolation = VPI_INTER_LINEAR;
    }

    roiWidth = std::min(roiWidth, srcWidth - roiX);
    roiHeight = std::min(roiHeight, srcHeight - roiY);

    const ResizeAxisPlan cols = resizePlanAxis<Level>(roiWidth, dstWidth, xFactor, xShift, interpolation, scaleMode);
    const ResizeAxisPlan rows =
        resizePlanAxis<Level>(roiHeight, dstHeight, yFactor, yShift, interpolation, scaleMode);
    dstWidth = cols.extent;
    dstHeight = rows.extent;

    const bool linear = interpolation == VPI_INTER_LINEAR;
    const bool cubic = interpolation == VPI_INTER_CUBIC;
    const bool fixedWeights = linear && depth != kResizeDepth32f;

    // Ring row length in elements.
    std::int64_t ringLength;
    if (layout == 1 || planar) {
        ringLength = static_cast<std::int64_t>(dstWidth) + 4;
    } else if (layout == 3) {
        ringLength = 3 * static_cast<std::int64_t>(dstWidth) + 12;
    } else {
        ringLength = 4 * static_cast<std::int64_t>(dstWidth) + 16;
    }
    const bool ringFits = ringLength <= INT32_MAX / 4;

    void* rowOffsets = Level::allocFloat(dstHeight);
    void* colOffsets = rowOffsets ? Level::allocFloat(dstWidth) : nullptr;
    void* rowWeights = nullptr;
    void* colWeights = nullptr;
    void* ring[4] = {nullptr, nullptr, nullptr, nullptr};
    bool ok = rowOffsets && colOffsets;
    if (ok && (linear || cubic)) {
        if (fixedWeights) {
            rowWeights = vpsMalloc_16s(dstHeight);
            colWeights = rowWeights && dstWidth <= INT32_MAX / 2 ? vpsMalloc_16s(2 * dstWidth) : nullptr;
        } else {
            rowWeights = Level::allocFloat(dstHeight);
            colWeights = rowWeights ? Level::allocFloat(dstWidth) : nullptr;
        }
        ok = rowWeights && colWeights && ringFits;
        const int ringCount = cubic ? 4 : 2;
        for (int k = 0; ok && k < ringCount; ++k) {
            ring[k] = fixedWeights ? static_cast<void*>(vpsMalloc_16s(static_cast<int>(ringLength)))
                                   : Level::allocFloat(static_cast<int>(ringLength));
            ok = ring[k] != nullptr;
        }
    }
    if (ok) {
        int* ro = static_cast<int*>(rowOffsets);
        int* co = static_cast<int*>(colOffsets);
        if (cubic) {
            resizeFillCubic(ro, static_cast<float*>(rowWeights), dstHeight, rows, roiY, srcHeight, srcStepE);
            resizeFillCubic(co, static_cast<float*>(colWeights), dstWidth, cols, roiX, srcWidth, pixStride);
        } else if (linear) {
            resizeFillLinear(ro, rowWeights, false, fixedWeights, dstHeight, rows, roiY, srcHeight, srcStepE);
            resizeFillLinear(co, colWeights, true, fixedWeights, dstWidth, cols, roiX, srcWidth, pixStride);
        } else {
            resizeFillNN(ro, dstHeight, rows, roiY, srcHeight, srcStepE);
            resizeFillNN(co, dstWidth, cols, roiX, srcWidth, pixStride);
        }

        int group;
        if (interpolation == VPI_INTER_NN) {
            group = (planar || layout == 1) ? 1 : (layout == 4 ? 2 : 0);
        } else if (linear) {
            group = (planar || layout == 1) ? 4 : 3;
        } else {
            group = (planar || layout == 1) ? 6 : 5;
        }
        const ResizeKernelEntry& entry = Level::kernels()[group * 3 + depth];
        const int kernelChannels = planar ? 0 : nChannels;
        const int kernelLayout = planar ? 0 : layout;

        const int planeCount = planar ? (layout == 3 ? 3 : 4) : 1;
        for (int plane = 0; plane < planeCount; ++plane) {
            const Vp8u* src;
            void* dst;
            if (planar) {
                src = static_cast<const Vp8u* const*>(pSrc)[plane] + static_cast<std::int64_t>(roiY) * srcStep +
                      (static_cast<std::int64_t>(roiX) << elemShift);
                dst = static_cast<void* const*>(pDst)[plane];
            } else {
                src = static_cast<const Vp8u*>(pSrc) + static_cast<std::int64_t>(roiY) * srcStep +
                      (static_cast<std::int64_t>(roiX) * nChannels << elemShift);
                dst = pDst;
            }
            if (entry.nn) {
                entry.nn(src, dst, dstStepE, dstWidth, dstHeight, ro, co, kernelChannels);
            } else if (entry.linear) {
                entry.linear(src, dst, srcStepE, dstStepE, dstWidth, dstHeight, ro, co, rowWeights, colWeights,
                             ring[0], ring[1], kernelChannels, kernelLayout);
            } else {
                entry.cubic(src, dst, srcStepE, dstStepE, dstWidth, dstHeight, ro, co,
                            static_cast<const float*>(rowWeights), static_cast<const float*>(colWeights),
                            static_cast<float*>(ring[0]), static_cast<float*>(ring[1]),
                            static_cast<float*>(ring[2]), static_cast<float*>(ring[3]), kernelChannels,
                            kernelLayout);
            }
        }
    }

    vpsFree(rowOffsets);
    vpsFree(colOffsets);
    vpsFree(ring[0]);
    vpsFree(ring[1]);
    vpsFree(rowWeights);
    vpsFree(colWeights);
    vpsFree(ring[2]);
    vpsFree(ring[3]);
    return ok ? vpStsNoErr : vpStsMemAllocErr;
}

// The two entries of a level: code 8 with both factors at most 1.0 goes to the
// supersampling driver, everything else (code 8 enlarging included) to the
// general driver. The policy supplies general() and superSampling(), the level's
// drivers, and kNaNReduces: whether a NaN factor passes the comparison (the
// test is written as "not above 1.0") or fails it.
template <class Level>
VpStatus ResizeEntryT(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                      VpiSize dstRoiSize, double xFactor, double yFactor, int interpolation, int nChannels,
                      int layout, int depth) {
    const bool reducing = Level::kNaNReduces ? !(xFactor > 1.0) && !(yFactor > 1.0)
                                             : xFactor <= 1.0 && yFactor <= 1.0;
    if (interpolation == VPI_INTER_SUPER && reducing) {
        return Level::superSampling(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor,
                                    nChannels, layout, depth, 0);
    }
    return Level::general(pSrc, srcSize.width, srcSize.height, srcStep, srcRoi.x, srcRoi.y, srcRoi.width,
                          srcRoi.height, pDst, dstStep, dstRoiSize.width, dstRoiSize.height, xFactor, yFactor, 0.0,
                          0.0, nChannels, layout, depth, 0, interpolation, 1);
}

}  // namespace
