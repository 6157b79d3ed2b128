// The CPUID results the processor classification depends on, taken once, so
// that the classification is a pure function and tests can present any
// processor to it.
#pragma once

#include "primitives/core/cpu.h"

struct VpCpuidSnapshot {
    int idFlagToggles;   // the ID flag of the flags register can be changed: CPUID exists
    unsigned leaf0[4];   // EAX, EBX, ECX, EDX of leaf 0
    unsigned leaf1[4];   // EAX, EBX, ECX, EDX of leaf 1
    unsigned leaf2[4];   // EAX, EBX, ECX, EDX of leaf 2
};

// Reads the running processor (leaves 1 and 2 only when CPUID exists).
VpCpuidSnapshot vpTakeCpuidSnapshot();

int vpSnapshotIsReferenceVendor(const VpCpuidSnapshot& snapshot);
void vpSnapshotFeatures(const VpCpuidSnapshot& snapshot, VpCpuFeatures* features);
VpCpuType vpClassifyCpu(const VpCpuidSnapshot& snapshot);

// Makes vpHasCpuid, vpIsReferenceVendor, vpGetCpuFeatures and vpCoreGetCpuType
// (and so the level selection) read the given snapshot instead of the
// processor; nullptr returns to the processor. For tests.
void vpSetCpuidSnapshotForTesting(const VpCpuidSnapshot* snapshot);
