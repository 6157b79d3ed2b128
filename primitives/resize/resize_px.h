// The plain-code (px) members of the resize primitives: the entries' px variants,
// the drivers, and the kernels and row passes that the tests reach directly.
#pragma once

#include "primitives/core/vp_types.h"
#include "primitives/resize/resize_internal.h"

// ---- entries ---------------------------------------------------------------
VpStatus vpiResize_32f_C1R_px(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst,
                              int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor,
                              int interpolation);
VpStatus vpiResize_8u_C3R_px(const Vp8u* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp8u* pDst,
                             int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int interpolation);

// ---- drivers ---------------------------------------------------------------
// Nearest-neighbour, linear and cubic resize of 8u/16u/32f images of one, three
// or four channels, or of separate planes (pSrc and pDst then point to arrays of
// plane origins). depth 0 8u, 1 16u, 2 32f.
VpStatus ResizeGeneral_px(const void* pSrc, int srcWidth, int srcHeight, int srcStep, int roiX, int roiY,
                          int roiWidth, int roiHeight, void* pDst, int dstStep, int dstWidth, int dstHeight,
                          double xFactor, double yFactor, double xShift, double yShift, int nChannels,
                          int layout, int depth, int planar, int interpolation, int scaleMode);

// Area-averaging reduction; both factors in (0, 1].
VpStatus ResizeSuperSampling_px(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst,
                                int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int nChannels,
                                int layout, int depth, int planar);

// ---- cubic row passes (ring rows are float) --------------------------------
void ResizeCubicH_8u_C1_px(const Vp8u* srcRow, int width, const int* colOffsets, const float* colWeights,
                           float* ringRow);
void ResizeCubicH_16u_C1_px(const Vp16u* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow);
void ResizeCubicH_32f_C1_px(const Vp32f* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow);
void ResizeCubicH_8u_C3_px(const Vp8u* srcRow, int width, int pixelStride, const int* colOffsets,
                           const float* colWeights, float* ringRow);
void ResizeCubicH_16u_C3_px(const Vp16u* srcRow, int width, int pixelStride, const int* colOffsets,
                            const float* colWeights, float* ringRow);
void ResizeCubicH_32f_C3_px(const Vp32f* srcRow, int width, int pixelStride, const int* colOffsets,
                            const float* colWeights, float* ringRow);
void ResizeCubicH_8u_C4_px(const Vp8u* srcRow, int width, const int* colOffsets, const float* colWeights,
                           float* ringRow);
void ResizeCubicH_16u_C4_px(const Vp16u* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow);
void ResizeCubicH_32f_C4_px(const Vp32f* srcRow, int width, const int* colOffsets, const float* colWeights,
                            float* ringRow);
void ResizeCubicV_8u_px(Vp8u* dstRow, int count, float t, const float* r0, const float* r1, const float* r2,
                        const float* r3);
void ResizeCubicV_16u_px(Vp16u* dstRow, int count, float t, const float* r0, const float* r1, const float* r2,
                         const float* r3);
void ResizeCubicV_32f_px(Vp32f* dstRow, int count, float t, const float* r0, const float* r1, const float* r2,
                         const float* r3);
void ResizeCubicV_8u_AC4_px(Vp8u* dstRow, int width, float t, const float* r0, const float* r1,
                            const float* r2, const float* r3);
void ResizeCubicV_16u_AC4_px(Vp16u* dstRow, int width, float t, const float* r0, const float* r1,
                             const float* r2, const float* r3);
void ResizeCubicV_32f_AC4_px(Vp32f* dstRow, int width, float t, const float* r0, const float* r1,
                             const float* r2, const float* r3);

// ---- linear row passes -----------------------------------------------------
// 8u rows hold 1/64 grey levels as int16, 16u rows grey levels as uint16.
void ResizeLinearH_8u_C1_px(const Vp8u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                            Vp16s* out);
void ResizeLinearH_8u_C3_px(const Vp8u* src, int count, int nChannels, const int* colOffsets,
                            const Vp16u* colWeights, Vp16s* out);
void ResizeLinearH_8u_C4_px(const Vp8u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                            Vp16s* out);
void ResizeLinearH_16u_C1_px(const Vp16u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                             Vp16u* out);
void ResizeLinearH_16u_C3_px(const Vp16u* src, int count, int nChannels, const int* colOffsets,
                             const Vp16u* colWeights, Vp16u* out);
void ResizeLinearH_16u_C4_px(const Vp16u* src, int count, const int* colOffsets, const Vp16u* colWeights,
                             Vp16u* out);
void ResizeLinearH_32f_C1_px(const Vp32f* src, int count, const int* colOffsets, const float* colWeights,
                             float* out);
void ResizeLinearH_32f_C3_px(const Vp32f* src, int count, int nChannels, const int* colOffsets,
                             const float* colWeights, float* out);
void ResizeLinearH_32f_C4_px(const Vp32f* src, int count, const int* colOffsets, const float* colWeights,
                             float* out);
void ResizeLinearV_8u_px(Vp8u* dst, int count, int a, const Vp16s* upper, const Vp16s* lower);
void ResizeLinearV_16u_px(Vp16u* dst, int count, int a, const Vp16u* upper, const Vp16u* lower);
void ResizeLinearV_32f_px(Vp32f* dst, int count, float a, const float* upper, const float* lower);
void ResizeLinearV_8u_AC4_px(Vp8u* dst, int count, int a, const Vp16s* upper, const Vp16s* lower);
void ResizeLinearV_16u_AC4_px(Vp16u* dst, int count, int a, const Vp16u* upper, const Vp16u* lower);
void ResizeLinearV_32f_AC4_px(Vp32f* dst, int count, float a, const float* upper, const float* lower);

// ---- kernel table entries (signatures of resize_internal.h) -----------------
int ResizeNN_8u_C3_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_16u_C3_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_32f_C3_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_8u_C1_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_16u_C1_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_32f_C1_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_8u_C4_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_16u_C4_px(const void*, void*, int, int, int, const int*, const int*, int);
int ResizeNN_32f_C4_px(const void*, void*, int, int, int, const int*, const int*, int);

#define VP_RESIZE_LINEAR_PARAMS                                                                       \
    const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,               \
        const int* rowOffsets, const int* colOffsets, const void* rowWeights, const void* colWeights, \
        void* rowBuffer0, void* rowBuffer1, int nChannels, int layout
int ResizeLinear_8u_C3C4_px(VP_RESIZE_LINEAR_PARAMS);
int ResizeLinear_16u_C3C4_px(VP_RESIZE_LINEAR_PARAMS);
int ResizeLinear_32f_C3C4_px(VP_RESIZE_LINEAR_PARAMS);
int ResizeLinear_8u_C1_px(VP_RESIZE_LINEAR_PARAMS);
int ResizeLinear_16u_C1_px(VP_RESIZE_LINEAR_PARAMS);
int ResizeLinear_32f_C1_px(VP_RESIZE_LINEAR_PARAMS);
#undef VP_RESIZE_LINEAR_PARAMS

#define VP_RESIZE_CUBIC_PARAMS                                                                          \
    const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth, int dstHeight,                 \
        const int* rowOffsets, const int* colOffsets, const float* rowWeights, const float* colWeights, \
        float* rowBuffer0, float* rowBuffer1, float* rowBuffer2, float* rowBuffer3, int nChannels, int layout
int ResizeCubic_8u_C3C4_px(VP_RESIZE_CUBIC_PARAMS);
int ResizeCubic_16u_C3C4_px(VP_RESIZE_CUBIC_PARAMS);
int ResizeCubic_32f_C3C4_px(VP_RESIZE_CUBIC_PARAMS);
int ResizeCubic_8u_C1_px(VP_RESIZE_CUBIC_PARAMS);
int ResizeCubic_16u_C1_px(VP_RESIZE_CUBIC_PARAMS);
int ResizeCubic_32f_C1_px(VP_RESIZE_CUBIC_PARAMS);
#undef VP_RESIZE_CUBIC_PARAMS

// ---- supersampling kernels and column sums ---------------------------------
#define VP_RESIZE_SUPER_PARAMS                                                                       \
    const void* src, void* dst, int srcStep, int dstStep, int srcColumns, int srcRows, int dstWidth, \
        int dstHeight, double xRatio, double yRatio, double areaScale, int nChannels, int mode, void* acc
void ResizeSuper_8u_C1_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_16u_C1_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_32f_C1_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_8u_C3_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_16u_C3_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_32f_C3_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_8u_C4_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_16u_C4_px(VP_RESIZE_SUPER_PARAMS);
void ResizeSuper_32f_C4_px(VP_RESIZE_SUPER_PARAMS);
#undef VP_RESIZE_SUPER_PARAMS

// Adds `rows` source rows of `width` pixels, column by column, into acc
// (int32 entries wrapping modulo 2^32 for 8u and 16u, float for 32f).
void ResizeColumnSum_8u_C1_px(const Vp8u* src, int srcStep, int width, int rows, Vp32s* acc);
void ResizeColumnSum_16u_C1_px(const Vp16u* src, int srcStep, int width, int rows, Vp32s* acc);
void ResizeColumnSum_32f_C1_px(const Vp32f* src, int srcStep, int width, int rows, Vp32f* acc);
void ResizeColumnSum_8u_C3_px(const Vp8u* src, int srcStep, int width, int rows, Vp32s* acc, int nChannels);
void ResizeColumnSum_16u_C3_px(const Vp16u* src, int srcStep, int width, int rows, Vp32s* acc, int nChannels);
void ResizeColumnSum_32f_C3_px(const Vp32f* src, int srcStep, int width, int rows, Vp32f* acc, int nChannels);
void ResizeColumnSum_8u_C4_px(const Vp8u* src, int srcStep, int width, int rows, Vp32s* acc);
void ResizeColumnSum_16u_C4_px(const Vp16u* src, int srcStep, int width, int rows, Vp32s* acc);
void ResizeColumnSum_32f_C4_px(const Vp32f* src, int srcStep, int width, int rows, Vp32f* acc);
