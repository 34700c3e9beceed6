// What every renderer starts from.
#pragma once

#include <cstdint>
#include <optional>

#include "colours.h"
#include "geometry.h"
#include "symbol.h"

namespace qrimage {

// A symbol ready to draw: where its pixels go and the colours, read once so
// that a change while the picture is drawn does not reach it.
struct Picture {
    Symbol symbol;
    PictureGeometry geometry;
    Colours colours;
};

// Takes over `code` and prepares its picture. Returns nullopt when there is no
// symbol (the encoding failed and recorded why) or margin and moduleSize make
// no picture (MakeGeometry records why).
std::optional<Picture> MakePicture(SymbolPtr code, int32_t margin, int32_t moduleSize);

}  // namespace qrimage
