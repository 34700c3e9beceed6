#include "calls/export_calls.h"

#include <memory>
#include <optional>
#include <utility>

#include "encode/picture_options.h"
#include "failure.h"
#include "platform/bitmap_section.h"
#include "render/picture.h"

namespace qrimage {
namespace {

// The picture the options describe, or nullopt with the reason recorded.
std::optional<Picture> PictureWithOptions(const char16_t* text, const QrImageOptions* record) {
    const std::optional<PictureOptions> options = ReadOptions(record);
    if (!options) {
        return std::nullopt;
    }
    return MakePicture(EncodeTextW(text, options->kind), options->margin, options->moduleSize,
                       options->colours, options->dotsPerInch);
}

}  // namespace

void GenerateFile(const NativeFileName& name, const char16_t* text, int32_t margin,
                  int32_t moduleSize, int32_t level, PictureFormat format) {
    const std::optional<Picture> picture =
        MakePicture(EncodeTextW(text, level), margin, moduleSize);
    if (picture) {
        WritePictureFile(name, *picture, format);
    }
}

void GetPngBlock(SymbolPtr code, int32_t margin, int32_t moduleSize, uint32_t* pngSize,
                 unsigned char** pngBuffer) {
    const std::optional<Picture> picture = MakePicture(std::move(code), margin, moduleSize);
    if (picture) {
        GetPictureBlock(*picture, PictureFormat::Png, pngSize, pngBuffer);
    }
}

HBITMAP MakeBitmapHandle(const char16_t* text, int32_t margin, int32_t moduleSize, int32_t level) {
    const std::optional<Picture> picture =
        MakePicture(EncodeTextW(text, level), margin, moduleSize);
    return picture ? MakeBitmapSection(*picture) : nullptr;
}

QrImageSymbol* EncodeSymbol(const char16_t* text, const QrImageOptions* record) {
    const std::optional<PictureOptions> options = ReadOptions(record);
    if (!options) {
        return nullptr;
    }
    const SymbolPtr code = EncodeTextW(text, options->kind);
    if (!code) {
        return nullptr;
    }
    auto made = std::make_unique<QrImageSymbol>();
    made->width = code->width;
    made->modules.resize(std::size_t(code->width) * std::size_t(code->width));
    for (std::size_t i = 0; i < made->modules.size(); ++i) {
        made->modules[i] = code->data[i] & 1u;
    }
    return made.release();
}

void WriteFileWithOptions(const NativeFileName& name, const char16_t* text,
                          const QrImageOptions* options, int32_t format) {
    const std::optional<PictureFormat> known = FormatFromNumber(format);
    if (!known) {
        return;
    }
    if (const std::optional<Picture> picture = PictureWithOptions(text, options)) {
        WritePictureFile(name, *picture, *known);
    }
}

void GetBlockWithOptions(const char16_t* text, const QrImageOptions* options, int32_t format,
                         uint32_t* blockSize, unsigned char** block) {
    const std::optional<PictureFormat> known = FormatFromNumber(format);
    if (!known) {
        return;
    }
    if (blockSize == nullptr || block == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return;
    }
    if (const std::optional<Picture> picture = PictureWithOptions(text, options)) {
        GetPictureBlock(*picture, *known, blockSize, block);
    }
}

}  // namespace qrimage
