// Declarations of the level variants of every dispatched entry, generated from
// the dispatch list: name_px, name_a6, name_w7 and name_t7, each with the
// entry's parameter list and result. Internal to the primitives: level files
// include it to get their variants' declarations; callers use primitives.h.
#pragma once

#include "primitives/primitives.h"

#define VP_DECLARE_LEVEL_VARIANTS(slot, result, name, params, args) \
    result name##_px params;                                        \
    result name##_a6 params;                                        \
    result name##_w7 params;                                        \
    result name##_t7 params;
VP_DISPATCH_ENTRIES(VP_DECLARE_LEVEL_VARIANTS)
#undef VP_DECLARE_LEVEL_VARIANTS
