#include "render/picture.h"

#include <utility>

namespace qrimage {
namespace {

// The picture of `code`, its colours taken by `coloursOf()` once the symbol
// and the geometry are known to be good.
template <class ColoursOf>
std::optional<Picture> Prepare(SymbolPtr code, int32_t margin, int32_t moduleSize, Opacity opacity,
                               uint32_t dotsPerInch, ColoursOf coloursOf) {
    if (!code) {
        return std::nullopt;
    }
    Symbol symbol(std::move(code));
    const std::optional<PictureGeometry> geometry =
        MakeGeometry(symbol.Width(), margin, moduleSize);
    if (!geometry) {
        return std::nullopt;
    }
    return Picture{std::move(symbol), *geometry, coloursOf(), opacity, dotsPerInch};
}

}  // namespace

std::optional<Picture> MakePicture(SymbolPtr code, int32_t margin, int32_t moduleSize) {
    return Prepare(std::move(code), margin, moduleSize, Opacity::Ignored, 0, LoadColours);
}

std::optional<Picture> MakePicture(SymbolPtr code, int32_t margin, int32_t moduleSize,
                                   Colours colours, uint32_t dotsPerInch) {
    return Prepare(std::move(code), margin, moduleSize, Opacity::FromColour, dotsPerInch,
                   [colours] { return colours; });
}

}  // namespace qrimage
