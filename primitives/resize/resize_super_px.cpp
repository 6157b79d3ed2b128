// Area-averaging kernels and column sums, plain code.
//
// Destination pixel (i, j) is the mean of the source area it covers: columns
// j*xRatio .. (j+1)*xRatio and rows i*yRatio .. (i+1)*yRatio of the region, the
// border pixels of a window weighted by their covered fraction. Per destination
// row the accumulator row first collects the vertical window sums of every
// source column, then a horizontal pass turns it in place into the window sums
// of the destination pixels, and the output conversion stores the means.
//
// Code paths by mode: bit 1 set when xRatio is fractional, bit 0 when yRatio is.
// Mode 0 sums 8u and 16u sources in 32-bit integers (exact); every other case
// accumulates in floats with the weighted terms formed in double.
#include "primitives/resize/resize_px.h"
#include "primitives/resize/resize_super_kernel.h"

void ResizeSuper_8u_C1_px(VP_SUPER_PARAMS) { superKernel<Vp8u, 1, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_16u_C1_px(VP_SUPER_PARAMS) { superKernel<Vp16u, 1, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_32f_C1_px(VP_SUPER_PARAMS) { superKernel<Vp32f, 1, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_8u_C3_px(VP_SUPER_PARAMS) { superKernel<Vp8u, 3, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_16u_C3_px(VP_SUPER_PARAMS) { superKernel<Vp16u, 3, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_32f_C3_px(VP_SUPER_PARAMS) { superKernel<Vp32f, 3, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_8u_C4_px(VP_SUPER_PARAMS) { superKernel<Vp8u, 4, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_16u_C4_px(VP_SUPER_PARAMS) { superKernel<Vp16u, 4, SuperSumsPx>(VP_SUPER_ARGS); }
void ResizeSuper_32f_C4_px(VP_SUPER_PARAMS) { superKernel<Vp32f, 4, SuperSumsPx>(VP_SUPER_ARGS); }

void ResizeColumnSum_8u_C1_px(const Vp8u* src, int srcStep, int width, int rows, Vp32s* acc) {
    columnSum(src, srcStep, width, rows, acc, 1, 1);
}
void ResizeColumnSum_16u_C1_px(const Vp16u* src, int srcStep, int width, int rows, Vp32s* acc) {
    columnSum(src, srcStep, width, rows, acc, 1, 1);
}
void ResizeColumnSum_32f_C1_px(const Vp32f* src, int srcStep, int width, int rows, Vp32f* acc) {
    columnSum(src, srcStep, width, rows, acc, 1, 1);
}
void ResizeColumnSum_8u_C3_px(const Vp8u* src, int srcStep, int width, int rows, Vp32s* acc, int nChannels) {
    columnSum(src, srcStep, width, rows, acc, 3, nChannels);
}
void ResizeColumnSum_16u_C3_px(const Vp16u* src, int srcStep, int width, int rows, Vp32s* acc, int nChannels) {
    columnSum(src, srcStep, width, rows, acc, 3, nChannels);
}
void ResizeColumnSum_32f_C3_px(const Vp32f* src, int srcStep, int width, int rows, Vp32f* acc, int nChannels) {
    columnSum(src, srcStep, width, rows, acc, 3, nChannels);
}
void ResizeColumnSum_8u_C4_px(const Vp8u* src, int srcStep, int width, int rows, Vp32s* acc) {
    columnSum(src, srcStep, width, rows, acc, 4, 4);
}
void ResizeColumnSum_16u_C4_px(const Vp16u* src, int srcStep, int width, int rows, Vp32s* acc) {
    columnSum(src, srcStep, width, rows, acc, 4, 4);
}
void ResizeColumnSum_32f_C4_px(const Vp32f* src, int srcStep, int width, int rows, Vp32f* acc) {
    columnSum(src, srcStep, width, rows, acc, 4, 4);
}
