// Public types and constants of the neighbourhood filters: median, erosion and
// dilation, separable row and column convolution. The filters do no border
// handling: they read up to their reach around the region, and the caller
// supplies those pixels (a padded image or a region inset by the reach).
#pragma once

#include "primitives/core/vp_types.h"

// Code of a fixed median mask: 10 * mask width + mask height.
typedef int VpiMaskSize;
enum : int {
    vpiMskSize1x3 = 13,
    vpiMskSize1x5 = 15,
    vpiMskSize3x1 = 31,
    vpiMskSize5x1 = 51,
    vpiMskSize3x3 = 33,
    vpiMskSize5x5 = 55,
};
