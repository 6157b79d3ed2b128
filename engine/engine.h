// Public interface of the enhancement engine: image records and exceptions,
// the frame store, the engine itself, the plane post-filter and the output
// composition.
#pragma once

#include "engine/composition.h"
#include "engine/enhancer_presets.h"
#include "engine/frame_enhancer.h"
#include "engine/frame_store.h"
#include "engine/image.h"
#include "engine/log_gabor.h"
#include "engine/post_filter.h"
