// The vector writers: SVG and EPS, drawn from the symbol's modules.
#pragma once

#include "outputs/byte_sink.h"
#include "render/picture.h"

namespace qrimage {

// Writes the picture as SVG: a viewBox of the picture in modules (quiet zone
// included), width and height of the picture in pixels, or in inches when it
// has a resolution; a background rectangle unless the light colour is fully
// transparent; the dark modules as one path of whole modules with
// shape-rendering crispEdges, so that no renderer shows a seam between two
// neighbours. Colours below full opacity get a fill-opacity. Returns false
// when the sink failed (it recorded why). Throws std::bad_alloc.
bool WriteSvg(const Picture& picture, ByteSink& sink);

// Writes the picture as EPS (PostScript level 2): one module is moduleSize
// points (72 per inch), or moduleSize pixels at the picture's resolution;
// %%BoundingBox from 0 0 to the picture's side rounded up, %%HiResBoundingBox
// exact. The light colour is painted unless it is fully transparent;
// PostScript has no partial opacity, so other colours are painted opaque.
// Returns false when the sink failed. Throws std::bad_alloc.
bool WriteEps(const Picture& picture, ByteSink& sink);

}  // namespace qrimage
