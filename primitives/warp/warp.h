// Public types and constants of the warp primitives, and their entries that are
// not dispatched. The dispatched entries are declared from the dispatch list.
#pragma once

#include "primitives/core/interpolation.h"
#include "primitives/core/vp_types.h"

// Or-ed into the warp's interpolation code: blend the one-pixel fringe outside
// the slanted edges of the destination quadrangle.
constexpr int VPI_SMOOTH_EDGE = static_cast<int>(0x80000000u);

// Destination quadrangle of a source region under a forward affine map
// (X = c00*x + c01*y + c02, Y = c10*x + c11*y + c12): the images of the corners
// (x, y), (x+w-1, y), (x+w-1, y+h-1), (x, y+h-1), in that order, each as (X, Y).
// vpStsSizeErr with quad untouched for a negative origin or an empty region,
// vpStsNullPtrErr for a null quad or coeffs.
// The px function also serves the a6 level; the warp variants call their own
// level's function directly, everyone else goes through vpiGetAffineQuad.
VpStatus vpiGetAffineQuad_px(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]);
