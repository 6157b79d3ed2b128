// Binding of the dispatched entries to one processor level.
//
// Every dispatched entry has a slot, a function pointer of the entry's own type
// that starts out holding the px variant; its forwarding function (declared in
// primitives.h) is one indirect call through it. SelectVpLevel, run once at
// start-up before any other thread exists, writes one level's variants into
// every slot; afterwards the slots are only read.
#pragma once

#include "primitives/core/cpu.h"
#include "primitives/core/vp_types.h"

// The slots themselves (vp_slot::<entry name> in dispatch_table.cpp) are each
// a function pointer of their entry's own type, so a forwarding function needs
// no conversion.

// Any variant, as the table stores it; converted back to the entry's own
// function type before it is called.
typedef void (*VpAnyFunction)();

// One entry's record: where its slot is and its four variants, indexed by
// VpLevel. A null variant means the level is not available for the entry.
struct DispatchRecord {
    void* slot;  // the entry's slot (a pointer of the entry's own function type)
    VpAnyFunction px;
    VpAnyFunction a6;
    VpAnyFunction w7;
    VpAnyFunction t7;
};

// The records of all dispatched entries in slot order, and their count.
extern const DispatchRecord DispatchTable[];
extern const int DispatchEntryCount;

// Levels to try per detected level, each row ending at the first value of 4.
extern const int LevelPreferenceTable[4][5];

// The level SelectVpLevel installed (0 until it has run).
extern int SelectedVpLevel;

// Binds every entry to the best complete level the processor supports. 1 when
// a level was installed; 0 after the failure message was shown.
int SelectVpLevel();

// The level for the running processor.
VpLevel CpuTypeToLevel();

// Writes column `level` of every record into its slot, in table order; 1 when
// all were written. 0 as soon as a record has no variant for the level, after
// putting every slot back to its px variant, so slots of two levels are never
// installed at once.
int FillDispatchSlots(VpLevel level);

// The second dispatcher, which serves vpiGetAffineQuad: an index into its
// five-entry variant table (0 none, 1 and 2 px, 3 w7, 4 t7), 1 from load on.
extern int StaticDispatchIndex;

struct StaticDispatchDescriptor {
    const char* kind;
    const char* name;
    const void* variants;
    StaticDispatchDescriptor* next;
};
extern StaticDispatchDescriptor* StaticDispatchListHead;

// Pushes a descriptor onto the list and returns the previous head.
StaticDispatchDescriptor* vpDispatchListPush(StaticDispatchDescriptor* descriptor);

// The quadrangle of the affine warp, through the second dispatcher: the
// variant at StaticDispatchIndex of vpiGetAffineQuadVariants, with the
// arguments untouched. vpStsNullPtrErr for a null quad or coeffs, and
// vpStsNotSupportedModeErr when the index selects no variant (after
// vpStaticInitCpu(-1), or a level not built yet).
VpStatus vpiGetAffineQuad(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]);

typedef VpStatus (*VpAffineQuadFunction)(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]);
extern const VpAffineQuadFunction vpiGetAffineQuadVariants[5];
extern StaticDispatchDescriptor vpiGetAffineQuadDescriptor;

// Registration of vpiGetAffineQuad's descriptor; the initializer runs with
// the program's static initialisation.
void vpiGetAffineQuadRegister();
void vpiGetAffineQuadInitializer();

// Sets StaticDispatchIndex from the running processor: vpStsNonReferenceCpu
// (index 1) without CPUID or for another vendor, else vpStsNoErr.
VpStatus vpStaticInit();
// Sets StaticDispatchIndex from a processor type -1..9 (-1: no variant);
// vpStsCpuMismatch and no change for any other value.
VpStatus vpStaticInitCpu(VpCpuType type);
