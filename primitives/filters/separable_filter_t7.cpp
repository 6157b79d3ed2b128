// Row and column filters, level t7.
#define VP_LEVEL_NAME(name) name##_t7
#define VP_LEVEL_MALLOC_32F vpsMalloc_32f_t7

#include "primitives/filters/separable_filter_body.h"
