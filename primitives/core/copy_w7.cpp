// w7 level of the copies, the fill, the border replication and the float
// vector copy.
#include <emmintrin.h>

#include "primitives/core/copy_kernel_w7.h"
#include "primitives/core/copy_simd.h"
#include "primitives/core/level_routines.h"

namespace {

constexpr auto CopyBlock = &CopyBlock_w7<&loadUnalignedSse2>;
// The float vector copy streams above 256 KiB.
constexpr std::size_t kVectorStreamBytes = 0x40000 + 1;

}  // namespace

VP_DEFINE_COPY_ROUTINES(w7, CopyBlock, SetRow_32f_w7, false, kVectorStreamBytes)
