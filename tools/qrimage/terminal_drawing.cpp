#include "terminal_drawing.h"

#include <cerrno>
#include <memory>
#include <type_traits>

#include "utf8_text.h"

namespace qrtool {

namespace {

using BitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, decltype(&DeleteObject)>;

COLORREF PixelColour(const unsigned char* bgra) {
    return COLORREF(bgra[2]) | COLORREF(bgra[1]) << 8 | COLORREF(bgra[0]) << 16;
}

std::string ColourEscape(int layer, COLORREF colour) {
    return "\x1b[" + std::to_string(layer) + ";2;" + std::to_string(colour & 0xFF) + ";" +
           std::to_string(colour >> 8 & 0xFF) + ";" + std::to_string(colour >> 16 & 0xFF) + "m";
}

}  // namespace

std::optional<ModuleGrid> ReadModules(const std::u16string& text, int32_t margin, int32_t level) {
    const BitmapHandle bitmap(GetHBitmapW(LibraryText(text), margin, 1, level), &DeleteObject);
    BITMAP described{};
    if (!bitmap) {
        return std::nullopt;
    }
    if (GetObjectW(bitmap.get(), sizeof described, &described) != int32_t(sizeof described)) {
        errno = EINVAL;
        return std::nullopt;
    }
    ModuleGrid grid;
    grid.side = described.bmWidth;
    const auto* pixels = static_cast<const unsigned char*>(described.bmBits);
    auto pixel = [&](int x, int y) { return pixels + y * described.bmWidthBytes + 4 * x; };
    // The top-left module of the finder pattern is always dark and the
    // separator module seven to its right always light: the picture itself
    // says which colour is which, whatever another process sets meanwhile.
    grid.darkColour = PixelColour(pixel(margin, margin));
    grid.lightColour = PixelColour(pixel(margin + 7, margin));
    grid.dark.resize(std::size_t(grid.side) * std::size_t(grid.side));
    for (int y = 0; y < grid.side; ++y) {
        for (int x = 0; x < grid.side; ++x) {
            grid.dark[std::size_t(y) * std::size_t(grid.side) + std::size_t(x)] =
                PixelColour(pixel(x, y)) == grid.darkColour;
        }
    }
    return grid;
}

std::string DrawHalfBlocks(const ModuleGrid& grid, bool coloured) {
    static const char* const kCells[4] = {" ", "\u2584", "\u2580", "\u2588"};  // by upper*2+lower
    const std::string start =
        coloured ? ColourEscape(38, grid.darkColour) + ColourEscape(48, grid.lightColour) : "";
    const std::string end = coloured ? "\x1b[0m\n" : "\n";
    auto dark = [&](int x, int y) {
        return y < grid.side && grid.dark[std::size_t(y) * std::size_t(grid.side) + std::size_t(x)];
    };
    std::string drawing;
    for (int y = 0; y < grid.side; y += 2) {
        drawing += start;
        for (int x = 0; x < grid.side; ++x) {
            drawing += kCells[dark(x, y) * 2 + dark(x, y + 1)];
        }
        drawing += end;
    }
    return drawing;
}

}  // namespace qrtool
