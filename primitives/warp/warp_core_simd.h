// The level policy of the a6, w7 and t7 cores: their own quadrangle function
// and kernel table, the px routines for everything that computes in double
// alike at every level, and a cubic scratch row for the cubic kernels.
// Include only from a level file.
#pragma once

#include "primitives/warp/warp_level_policy.h"
#include "primitives/warp/warp_simd.h"

// The SIMD levels' cubic kernels keep the source points of a span in a scratch row.
template <VpStatus (*Quad)(VpiRect, double[4][2], const double[2][3]), const WarpRowKernel* Table>
using WarpSimdLevel = WarpLevelPolicy<Quad, Table, true>;

// Table rows of a level: its nearest and linear kernels and the shared cubic ones.
#define VP_WARP_SIMD_TABLE_ROW(level, depthName, layoutName)                                    \
    &WarpNN_##depthName##_##layoutName##_##level, &WarpLinear_##depthName##_##layoutName##_##level, \
        &WarpCubic_##depthName##_##layoutName##_a6,
