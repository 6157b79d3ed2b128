// t7 level of the copies, the fill, the border replication and the float
// vector copy: the w7 kernels with the SSE3 unaligned load.
#include <emmintrin.h>
#include <pmmintrin.h>

#include "primitives/core/copy_kernel_w7.h"
#include "primitives/core/copy_simd.h"
#include "primitives/core/level_routines.h"

namespace {

inline __m128i loadUnalignedSse3(const unsigned char* p) { return _mm_lddqu_si128(reinterpret_cast<const __m128i*>(p)); }

constexpr auto CopyBlock = &CopyBlock_w7<&loadUnalignedSse3>;
// The float vector copy streams from 512 KiB on.
constexpr std::size_t kVectorStreamBytes = 0x80000;

}  // namespace

VP_DEFINE_COPY_ROUTINES(t7, CopyBlock, SetRow_32f_w7, false, kVectorStreamBytes)
