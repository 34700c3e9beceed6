#include "terminal_drawing.h"

#include <cerrno>
#include <memory>
#include <type_traits>

#include "utf8_text.h"

namespace qrtool {

namespace {

using SymbolHandle = std::unique_ptr<QrImageSymbol, decltype(&QrImageFreeSymbol)>;

// The side of the largest 32-bit picture the library draws (4 * side * side
// bytes below 2^31): a drawing has no pixel memory, but no larger one is
// useful either.
constexpr int64_t kLargestSide = 23170;

std::string ColourEscape(int layer, COLORREF colour) {
    return "\x1b[" + std::to_string(layer) + ";2;" + std::to_string(colour & 0xFF) + ";" +
           std::to_string(colour >> 8 & 0xFF) + ";" + std::to_string(colour >> 16 & 0xFF) + "m";
}

}  // namespace

std::optional<ModuleGrid> ReadModules(const std::u16string& text, const QrImageOptions& record) {
    const SymbolHandle symbol(QrImageEncodeW(LibraryText(text), &record), &QrImageFreeSymbol);
    if (!symbol) {
        return std::nullopt;
    }
    const int64_t width = QrImageSymbolWidth(symbol.get());
    const int64_t side = width + 2 * int64_t(record.margin);
    if (record.margin < 0 || side > kLargestSide) {
        errno = record.margin < 0 ? EINVAL : EFBIG;
        return std::nullopt;
    }
    ModuleGrid grid;
    grid.side = int(side);
    grid.darkColour = record.foreground & 0xFFFFFF;
    grid.lightColour = record.background & 0xFFFFFF;
    grid.dark.resize(std::size_t(side) * std::size_t(side));
    const unsigned char* modules = QrImageSymbolModules(symbol.get());
    for (int64_t y = 0; y < width; ++y) {
        for (int64_t x = 0; x < width; ++x) {
            grid.dark[std::size_t((y + record.margin) * side + x + record.margin)] =
                modules[y * width + x] != 0;
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
