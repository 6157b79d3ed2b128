// Subsystem 1's public declarations that are not dispatched entries.
#pragma once

#include "primitives/core/memory.h"
#include "primitives/core/vp_types.h"
