// Public types and constants of the resize primitives, and their entries that are
// not dispatched. The dispatched entries are declared from the dispatch list.
#pragma once

#include "primitives/core/interpolation.h"
#include "primitives/core/vp_types.h"

