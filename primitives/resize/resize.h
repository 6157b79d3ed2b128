// Public types and constants of the resize primitives, and their entries that are
// not dispatched. The dispatched entries are declared from the dispatch list.
#pragma once

#include "primitives/core/vp_types.h"

// Interpolation codes shared by the resize and warp entries. The guard lets the
// warp header carry the same definitions.
#ifndef VP_INTERPOLATION_CODES_DEFINED
#define VP_INTERPOLATION_CODES_DEFINED
enum : int {
    VPI_INTER_NN = 1,
    VPI_INTER_LINEAR = 2,
    VPI_INTER_CUBIC = 4,
    VPI_INTER_SUPER = 8,
};
#endif

