// t7 level of the RGB and YUV conversions (the w7 row kernels).
#include "primitives/core/colour_kernel_w7.h"

VP_DEFINE_COLOUR_ROUTINES(t7, RGBToYUVRow_w7, YUVToRGBRow_w7)
