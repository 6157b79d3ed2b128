// a6 level of the element-wise float arithmetic (the body shared by the SIMD levels).
#include "primitives/core/arith_body_a6.h"
#include "primitives/core/core_levels.h"

VP_DEFINE_ARITH_ROUTINES(a6)
