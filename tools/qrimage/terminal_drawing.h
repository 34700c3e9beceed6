// The symbol drawn with Unicode half blocks: each character cell shows two
// module rows, so the code keeps its proportions in a terminal.
#pragma once

#include <qrimage.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qrtool {

// The symbol's modules with its quiet zone, in the picture's colours.
struct ModuleGrid {
    int side = 0;            // modules per row and per column
    std::vector<bool> dark;  // side * side entries, top row first
    COLORREF darkColour = 0;
    COLORREF lightColour = 0;
};

// Asks the library for the symbol of `text` (QrImageEncodeW: level, version,
// Micro QR) and surrounds it with record.margin light modules; the colours
// are the record's. Returns nullopt, with the library's errno kept, when it
// makes none, or with EFBIG when the grid would pass 23170 modules a side
// (the largest picture the library draws at one pixel a module).
std::optional<ModuleGrid> ReadModules(const std::u16string& text, const QrImageOptions& record);

// One line per two module rows: U+2580 (upper half), U+2584 (lower half),
// U+2588 (full block) or a space, the glyph standing for dark modules; an odd
// last row pairs with a light one. With `coloured`, every line carries
// 24-bit colour escapes so that the glyphs show the dark colour and the rest
// the light colour whatever the terminal's own colours are.
std::string DrawHalfBlocks(const ModuleGrid& grid, bool coloured);

}  // namespace qrtool
