// Row and column filters, level a6.
#define VP_LEVEL_NAME(name) name##_a6
#define VP_LEVEL_MALLOC_32F vpsMalloc_32f_px
// Narrow column regions take the chunked association order.
#define VP_LEVEL_CHUNKED_COLUMNS 1

#include "primitives/filters/separable_filter_body.h"
