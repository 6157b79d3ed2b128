// t7 level of the image sums (the w7 byte kernel, the shared float body).
#include "primitives/core/sum_body_a6.h"
#include "primitives/core/sum_kernel_w7.h"

VP_DEFINE_SUM_ROUTINES(t7, SumImage_8u_w7)
