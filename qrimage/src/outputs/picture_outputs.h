// A picture written in one of the library's formats, to a file or a block.
#pragma once

#include <qrimage.h>

#include <cstdint>
#include <optional>

#include "outputs/byte_sink.h"
#include "platform/file_name.h"
#include "render/picture.h"

namespace qrimage {

enum class PictureFormat : int32_t {
    Png = QRIMAGE_PNG,
    Bmp = QRIMAGE_BMP,
    Svg = QRIMAGE_SVG,
    Eps = QRIMAGE_EPS,
};

// The format of an export's number; nullopt, with InvalidArgument recorded,
// for an unknown one.
std::optional<PictureFormat> FormatFromNumber(int32_t number) noexcept;

// Writes the picture into `sink`; false, with the reason recorded, when the
// sink or the writer failed. Throws std::bad_alloc.
bool WritePicture(const Picture& picture, PictureFormat format, ByteSink& sink);

// Replaces the file `name` with the picture (file_replacement.h); on failure the
// file is left as it was and the reason recorded. Throws std::bad_alloc.
void WritePictureFile(const NativeFileName& name, const Picture& picture, PictureFormat format);

// The picture in a new block that the caller frees with DestroyBuffer,
// stored through the out-parameters; they stay untouched when nothing was
// made. Throws std::bad_alloc.
void GetPictureBlock(const Picture& picture, PictureFormat format, uint32_t* size,
                     unsigned char** block);

}  // namespace qrimage
