// Erosion and dilation, 3x3 and with a mask, level w7.
#include "primitives/core/level_routines.h"

#define VP_LEVEL_NAME(name) name##_w7
#define VP_LEVEL_MALLOC_32F vpsMalloc_32f_px
#define VP_LEVEL_COPY_32F vpsCopy_32f_w7

#include "primitives/filters/morph_body.h"
