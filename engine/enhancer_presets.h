// The engine settings behind the capture's two choices: noise reduction
// (none, low, med, high) and motion smooth (min, low, med, high), each 0 to 3.
// The capture driver and the engine's tests share this one table.
#pragma once

#include "engine/frame_enhancer.h"

// Writes the pre-filter modes and, unless the choice is none, the four
// per-scale luma arrays. Choices outside 0 to 3 are taken as the nearest.
void applyNoiseReduction(FrameEnhancer& engine, int choice);

// Writes the motion threshold and slope of the confidence weights.
void applyMotionSmooth(FrameEnhancer& engine, int choice);
