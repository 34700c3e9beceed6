// Bitmap handles: the picture drawn into 32-bit pixel memory behind an opaque
// HBITMAP (bitmap_registry.h).
#include <cstring>
#include <memory>
#include <optional>

#include "bgra_row.h"
#include "bitmap_registry.h"
#include "call_guard.h"
#include "colours.h"
#include "picture.h"
#include "qrimage.h"
#include "text_conversion.h"

namespace qrimage {
namespace {

BITMAPINFOHEADER MakeHeader(const PictureGeometry& geometry) {
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

// Draws the picture into new pixel memory. Throws std::bad_alloc when memory
// runs out.
std::unique_ptr<BitmapSection> DrawBitmap(const Picture& picture) {
    const Symbol& symbol = picture.symbol;
    const Colours& colours = picture.colours;
    const PictureGeometry& geometry = picture.geometry;

    auto bitmap = std::make_unique<BitmapSection>();
    bitmap->header = MakeHeader(geometry);
    bitmap->pixels = std::make_unique_for_overwrite<unsigned char[]>(geometry.PictureBytes32());
    const auto scratchRow = std::make_unique_for_overwrite<unsigned char[]>(geometry.RowBytes32());

    const std::size_t rowBytes = geometry.RowBytes32();
    const int32_t quietBandPixels = geometry.side * geometry.quietPixels;
    const uint32_t background = BgraPixel(colours.background);
    unsigned char* target = bitmap->pixels.get();

    FillPixels(target, quietBandPixels, background);
    target += std::size_t(quietBandPixels) * 4;
    for (int32_t symbolRow = 0; symbolRow < symbol.Width(); ++symbolRow) {
        ComposeBgraRow(geometry, symbol.Row(symbolRow), colours, scratchRow.get());
        for (int32_t copy = 0; copy < geometry.moduleSize; ++copy, target += rowBytes) {
            std::memcpy(target, scratchRow.get(), rowBytes);
        }
    }
    FillPixels(target, quietBandPixels, background);
    return bitmap;
}

HBITMAP MakeBitmapHandle(const char16_t* text, int32_t margin, int32_t moduleSize, int32_t level) {
    const std::optional<Picture> picture =
        MakePicture(EncodeTextW(text, level), margin, moduleSize);
    if (!picture) {
        return nullptr;
    }
    return AdoptBitmap(DrawBitmap(*picture));
}

int32_t GetBitmapObject(HBITMAP handle, int32_t size, void* out) {
    const std::optional<DIBSECTION> section = DescribeBitmap(handle);
    if (!section) {
        RecordFailure(Failure::InvalidArgument);
        return 0;
    }
    // As the platform does: without a buffer, the size of the basic record;
    // otherwise the largest record that fits.
    if (out == nullptr) {
        return int32_t(sizeof(BITMAP));
    }
    if (size >= int32_t(sizeof(DIBSECTION))) {
        std::memcpy(out, &*section, sizeof(DIBSECTION));
        return int32_t(sizeof(DIBSECTION));
    }
    if (size >= int32_t(sizeof(BITMAP))) {
        std::memcpy(out, &section->dsBm, sizeof(BITMAP));
        return int32_t(sizeof(BITMAP));
    }
    RecordFailure(Failure::InvalidArgument);
    return 0;
}

}  // namespace
}  // namespace qrimage

extern "C" {

QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapW(const qrimage_char16* text, int32_t margin,
                                             int32_t moduleSize, int32_t level) {
    return qrimage::CallGuarded<HBITMAP>(
        nullptr, [&] { return qrimage::MakeBitmapHandle(text, margin, moduleSize, level); });
}

QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapA(const char* text, int32_t margin, int32_t moduleSize,
                                             int32_t level) {
    return qrimage::CallGuarded<HBITMAP>(nullptr, [&]() -> HBITMAP {
        const std::optional<std::u16string> wide = qrimage::WidenAnsiText(text);
        if (!wide) {
            return nullptr;
        }
        return qrimage::MakeBitmapHandle(wide->c_str(), margin, moduleSize, level);
    });
}

QRIMAGE_API int32_t QRIMAGE_CALL DeleteObject(HBITMAP bitmap) {
    return qrimage::CallGuarded<int32_t>(0, [&] {
        if (qrimage::ReleaseBitmap(bitmap) == nullptr) {
            qrimage::RecordFailure(qrimage::Failure::InvalidArgument);
            return 0;
        }
        return 1;
    });
}

QRIMAGE_API int32_t QRIMAGE_CALL GetObjectW(HBITMAP bitmap, int32_t size, void* out) {
    return qrimage::CallGuarded<int32_t>(
        0, [&] { return qrimage::GetBitmapObject(bitmap, size, out); });
}

}  // extern "C"
