// Whether a frame of a run shows the same shot as the reference frame. A
// frame from across a cut can register with a false motion, and its
// confidence weights, made from luma differences alone, let through whatever
// part of it has about the reference's luma; such a frame, and one with
// structure where the reference has none (a black frame, a flat fade), is
// left out of the run. The comparison works on the means of small square
// blocks of luma, in which noise, compression blocks and interlace lines have
// largely averaged out while the picture's shapes remain.
#pragma once

#include "engine/image.h"

// How a frame's luma compares with the reference's, over the blocks that the
// frame covers entirely.
struct ShotComparison {
    // Share of the reference's blocks that the frame covers (0 when the planes
    // hold no whole block).
    double overlap = 0.0;
    // Normalised correlation of the block means; 0 when either side is
    // constant over the covered blocks.
    double correlation = 0.0;
    // Standard deviation of the block means without the share that pixel
    // noise leaves in them (estimated from the spread inside the blocks), in
    // grey levels: how much the picture has to show at the blocks' scale.
    double referenceStructure = 0.0;
    double frameStructure = 0.0;
};

// Compares two luma planes of one size block by block; frame pixels that are
// NaN lie outside the frame. Planes of different sizes compare as no overlap.
ShotComparison compareShotBlocks(const Image32f& reference, const Image32f& frame);

// True when a frame shows the reference's shot, judged from its comparison as
// it stands (unmoved, over the whole planes) and, when its motion estimate
// succeeded, from its comparison once registered onto the reference. Either
// may show it: a frame whose registration went wrong (a fade, a large moving
// subject) still resembles the reference unmoved, and one that has moved far
// does once registered.
bool showsSameShot(const ShotComparison& unmoved, const ShotComparison* registered);
