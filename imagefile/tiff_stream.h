// Opens libtiff over a RasterStream through client procedures (read, write,
// seek, size; close leaves the stream open; no mapping).
#pragma once

#include <tiffio.h>

#include "imagefile/raster_stream.h"

// The handle, or null when libtiff refuses the stream.
TIFF* RasterTiffOpenStream(RasterStream* stream, const char* mode);
