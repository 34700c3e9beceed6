// One picture written in one of the tool's formats, to a file or a stream.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "options.h"

namespace qrtool {

// The format a file name asks for by its extension (.png, .bmp, .svg, .eps,
// .txt for the half-block drawing; any case), nullopt for others.
std::optional<Format> FormatOfPath(const std::string& path);

// The library's options record for the settings; a colour the settings leave
// open is the shared one, read now, drawn opaque.
QrImageOptions OptionsRecord(const PictureSettings& settings);

// Writes the picture of `text` into the file `path` (UTF-8 bytes). Pictures
// go through the library (the classic exports for PNG and BMP without the
// picture's own options, else the per-picture family), the drawing through the library's own file
// replacement (AtomicFile): every file is replaced atomically by the same
// rules. Returns "" on success, else what failed and why. Thread-safe.
std::string WritePictureFile(const std::u16string& text, const PictureSettings& settings,
                             Format format, const std::string& path);

// Writes the picture of `text` to `out` (the caller's stream, flushed here).
// `colouredDrawing` adds colour escapes to the half-block drawing. Returns ""
// on success, else what failed and why.
std::string WritePictureToStream(const std::u16string& text, const PictureSettings& settings,
                                 Format format, std::FILE* out, bool colouredDrawing);

}  // namespace qrtool
