// t7 level of the thresholds and the comparison (the body shared by the SIMD levels).
#include "primitives/core/core_levels.h"
#include "primitives/core/threshold_body_a6.h"

VP_DEFINE_THRESHOLD_ROUTINES(t7)
