// The symbol drawn with Unicode half blocks: each character cell shows two
// module rows, so the code keeps its proportions in a terminal.
#pragma once

#include <qrimage.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qrtool {

// The picture at one pixel per module, quiet zone included, as the library
// draws it in its current colours.
struct ModuleGrid {
    int side = 0;            // modules per row and per column
    std::vector<bool> dark;  // side * side entries, top row first
    COLORREF darkColour = 0;
    COLORREF lightColour = 0;
};

// Asks the library for the picture of `text` (GetHBitmapW, module size 1).
// Returns nullopt, with the library's errno kept, when it makes none.
std::optional<ModuleGrid> ReadModules(const std::u16string& text, int32_t margin, int32_t level);

// One line per two module rows: U+2580 (upper half), U+2584 (lower half),
// U+2588 (full block) or a space, the glyph standing for dark modules; an odd
// last row pairs with a light one. With `coloured`, every line carries
// 24-bit colour escapes so that the glyphs show the dark colour and the rest
// the light colour whatever the terminal's own colours are.
std::string DrawHalfBlocks(const ModuleGrid& grid, bool coloured);

}  // namespace qrtool
