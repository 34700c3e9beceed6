#include "picture.h"

#include <utility>

namespace qrimage {

std::optional<Picture> MakePicture(SymbolPtr code, int32_t margin, int32_t moduleSize,
                                   Colours colours, uint32_t dotsPerInch) {
    if (!code) {
        return std::nullopt;
    }
    Symbol symbol(std::move(code));
    const std::optional<PictureGeometry> geometry =
        MakeGeometry(symbol.Width(), margin, moduleSize);
    if (!geometry) {
        return std::nullopt;
    }
    return Picture{std::move(symbol), *geometry, colours, Opacity::FromColour, dotsPerInch};
}

std::optional<Picture> MakePicture(SymbolPtr code, int32_t margin, int32_t moduleSize) {
    if (!code) {
        return std::nullopt;
    }
    // The shared colours are read only once the symbol exists, as always.
    Symbol symbol(std::move(code));
    const std::optional<PictureGeometry> geometry =
        MakeGeometry(symbol.Width(), margin, moduleSize);
    if (!geometry) {
        return std::nullopt;
    }
    return Picture{std::move(symbol), *geometry, LoadColours(), Opacity::Ignored, 0};
}

}  // namespace qrimage
