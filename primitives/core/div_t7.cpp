// t7 level of the float division (the body shared by the SIMD levels).
#include "primitives/core/core_levels.h"
#include "primitives/core/div_body_a6.h"

VP_DEFINE_DIV_ROUTINES(t7)
