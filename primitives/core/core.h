// Subsystem 1's public declarations that are not dispatched entries.
#pragma once

#include "primitives/core/cpu.h"
#include "primitives/core/dispatch.h"
#include "primitives/core/memory.h"
#include "primitives/core/vp_types.h"

// Rounding of vpiConvert_32f8u_C1R: every value other than vpRndNear truncates.
typedef int VpRoundMode;
enum : int { vpRndZero = 0, vpRndNear = 1 };

// Comparison codes of vpiCompareC_32f_C1R; the thresholds use only less and greater.
typedef int VpCmpOp;
enum : int { vpCmpLess = 0, vpCmpLessEq = 1, vpCmpEq = 2, vpCmpGreaterEq = 3, vpCmpGreater = 4 };

// Version record of a processor level, returned by vpsGetLibVersion.
struct VpLibraryVersion {
    int major;
    int minor;
    int majorBuild;
    int build;
    char targetCpu[4];
    const char* name;
    const char* version;
    const char* buildDate;
};
