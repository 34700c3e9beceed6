// The picture as 32-bit pixels, the way a top-down bitmap section holds it.
#include <cstring>
#include <memory>

#include "platform/bitmap_section.h"
#include "render/bgra_row.h"

namespace qrimage {

BITMAPINFOHEADER SectionHeader(const PictureGeometry& geometry) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = geometry.side;
    header.biHeight = -geometry.side;  // top row first
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = 0;  // BI_RGB
    // Filled in, as the platform does for its sections; fits: the geometry
    // caps the pixel memory at 2^31 - 1 bytes.
    header.biSizeImage = uint32_t(geometry.PictureBytes32());
    return header;
}

void DrawPicture(const Picture& picture, unsigned char* pixels) {
    const Symbol& symbol = picture.symbol;
    const Colours& colours = picture.colours;
    const PictureGeometry& geometry = picture.geometry;

    const auto scratchRow = std::make_unique_for_overwrite<unsigned char[]>(geometry.RowBytes32());

    const std::size_t rowBytes = geometry.RowBytes32();
    const int32_t quietBandPixels = geometry.side * geometry.quietPixels;
    const uint32_t background = BgraPixel(colours.background);
    unsigned char* target = pixels;

    FillPixels(target, quietBandPixels, background);
    target += std::size_t(quietBandPixels) * 4;
    for (int32_t symbolRow = 0; symbolRow < symbol.Width(); ++symbolRow) {
        ComposeBgraRow(geometry, symbol.Row(symbolRow), colours, scratchRow.get());
        for (int32_t copy = 0; copy < geometry.moduleSize; ++copy, target += rowBytes) {
            std::memcpy(target, scratchRow.get(), rowBytes);
        }
    }
    FillPixels(target, quietBandPixels, background);
}

}  // namespace qrimage
