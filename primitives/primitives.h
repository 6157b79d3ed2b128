// The one header through which the engine, the application and the tests reach
// the image and signal primitives.
#pragma once

#include "primitives/core/core.h"
#include "primitives/core/vp_types.h"
#include "primitives/fft/fft.h"
#include "primitives/filters/filters.h"
#include "primitives/resize/resize.h"
#include "primitives/warp/warp.h"

// The subsystem headers above declare every type the dispatched entries use.
#include "primitives/core/dispatch_entries.h"

#define VP_DECLARE_ENTRY(slot, result, name, params, args) result name params;
VP_DISPATCH_ENTRIES(VP_DECLARE_ENTRY)
#undef VP_DECLARE_ENTRY
