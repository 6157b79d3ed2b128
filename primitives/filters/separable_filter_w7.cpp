// Row and column filters, level w7.
#define VP_LEVEL_NAME(name) name##_w7
#define VP_LEVEL_MALLOC_32F vpsMalloc_32f_px

#include "primitives/filters/separable_filter_body.h"
