// The second dispatcher: vpiGetAffineQuad reaches its variant through an
// index into a small table instead of a slot.
#include "primitives/primitives.h"

// The w7 and t7 quadrangle functions live with those levels of the warp.
VpStatus vpiGetAffineQuad_w7(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]);
VpStatus vpiGetAffineQuad_t7(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]);

// Index 0: no variant; 1 and 2: px (which serves a6 too); 3: w7; 4: t7.
const VpAffineQuadFunction vpiGetAffineQuadVariants[5] = {
    nullptr, &vpiGetAffineQuad_px, &vpiGetAffineQuad_px, &vpiGetAffineQuad_w7, &vpiGetAffineQuad_t7,
};

StaticDispatchDescriptor vpiGetAffineQuadDescriptor = {"s", "vpiGetAffineQuad", vpiGetAffineQuadVariants, nullptr};

void vpiGetAffineQuadRegister() { vpiGetAffineQuadDescriptor.next = vpDispatchListPush(&vpiGetAffineQuadDescriptor); }

void vpiGetAffineQuadInitializer() { vpiGetAffineQuadRegister(); }

namespace {

struct RegisterAtStartUp {
    RegisterAtStartUp() { vpiGetAffineQuadInitializer(); }
};
const RegisterAtStartUp registerAtStartUp;

}  // namespace

VpStatus vpiGetAffineQuad(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]) {
    if (!quad || !coeffs) return vpStsNullPtrErr;
    const int index = StaticDispatchIndex;
    const VpAffineQuadFunction variant = index >= 0 && index < 5 ? vpiGetAffineQuadVariants[index] : nullptr;
    if (!variant) return vpStsNotSupportedModeErr;
    return variant(srcRoi, quad, coeffs);
}
