// Median filter, level w7: the fixed masks run the 16-byte vector kernels.
#include "primitives/core/level_routines.h"

#define VP_LEVEL_NAME(name) name##_w7
#define VP_LEVEL_COPY_8U vpiCopy_8u_C1R_w7

#include "primitives/filters/median_sse2_body.h"
