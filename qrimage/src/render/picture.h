// What every renderer starts from.
#pragma once

#include <cstdint>
#include <optional>

#include "colours/colours.h"
#include "encode/symbol.h"
#include "render/geometry.h"

namespace qrimage {

// How a picture uses the highest byte of its colour words.
enum class Opacity : uint8_t {
    // The classic family: the byte is never drawn; a PNG always carries a
    // tRNS chunk marking both palette entries opaque.
    Ignored,
    // The per-picture family: the byte is the colour's opacity (255 opaque);
    // a PNG carries tRNS only when a colour is not opaque.
    FromColour,
};

// A symbol ready to draw: where its pixels go, the colours (read once, so
// that a change while the picture is drawn does not reach it), and the
// resolution to record.
struct Picture {
    Symbol symbol;
    PictureGeometry geometry;
    Colours colours;
    Opacity opacity = Opacity::Ignored;
    uint32_t dotsPerInch = 0;  // 0: no resolution is written
};

// Takes over `code` and prepares its picture in the shared colours. Returns
// nullopt when there is no symbol (the encoding failed and recorded why) or
// margin and moduleSize make no picture (MakeGeometry records why).
std::optional<Picture> MakePicture(SymbolPtr code, int32_t margin, int32_t moduleSize);

// The same in the caller's own colours, opacity and resolution; reads no
// shared state.
std::optional<Picture> MakePicture(SymbolPtr code, int32_t margin, int32_t moduleSize,
                                   Colours colours, uint32_t dotsPerInch);

}  // namespace qrimage
