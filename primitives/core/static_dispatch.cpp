// The second dispatcher's state: the index into vpiGetAffineQuad's variant
// table and the list of registered descriptors.
#include "primitives/core/dispatch.h"

int StaticDispatchIndex = 1;
StaticDispatchDescriptor* StaticDispatchListHead = nullptr;

StaticDispatchDescriptor* vpDispatchListPush(StaticDispatchDescriptor* descriptor) {
    StaticDispatchDescriptor* previous = StaticDispatchListHead;
    StaticDispatchListHead = descriptor;
    return previous;
}

namespace {

// Index of the variant table for a processor type: 1 px, 2 a6, 3 w7, 4 t7.
int indexForType(VpCpuType type) {
    switch (type) {
        case vpCpuFamily6SSE: return 2;
        case vpCpuFamily15SSE2:
        case vpCpuFamily15HT:
        case vpCpuFamily6SSE2: return 3;
        case vpCpuFamily15SSE3: return 4;
        default: return 1;
    }
}

}  // namespace

VpStatus vpStaticInit() {
    StaticDispatchIndex = indexForType(vpCoreGetCpuType());
    if (!vpHasCpuid() || !vpIsReferenceVendor()) {
        StaticDispatchIndex = 1;
        return vpStsNonReferenceCpu;
    }
    return vpStsNoErr;
}

VpStatus vpStaticInitCpu(VpCpuType type) {
    if (type < -1 || type > 9) return vpStsCpuMismatch;
    StaticDispatchIndex = type == -1 ? 0 : indexForType(type);
    return vpStsNoErr;
}
