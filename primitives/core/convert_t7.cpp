// t7 level of the depth conversions (the w7 row kernels).
#include "primitives/core/convert_kernel_w7.h"
#include "primitives/core/convert_simd.h"
#include "primitives/core/dispatch_variants.h"

VP_DEFINE_CONVERT_ROUTINES(t7, Convert8u32fRow_w7, Convert32f8uRow_w7)
