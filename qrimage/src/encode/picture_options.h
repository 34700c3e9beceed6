// The per-picture family's options record, read and checked.
#pragma once

#include <qrimage.h>

#include <cstdint>
#include <optional>

#include "colours/colours.h"
#include "encode/symbol.h"

namespace qrimage {

// The highest resolution a picture records, in dots per inch: far above any
// printer, and its pixels per metre fit every format's 32-bit field.
inline constexpr uint32_t kHighestDotsPerInch = 100000;

// A record size beyond which nothing is read: no caller has a record that
// large, and reading is bounded.
inline constexpr uint32_t kLargestOptionsRecord = 4096;

// What one picture is made with, checked.
struct PictureOptions {
    SymbolKind kind;
    int32_t margin;
    int32_t moduleSize;
    Colours colours;
    uint32_t dotsPerInch;
};

// Reads the caller's record by its own size: a shorter, older record takes the
// defaults (QRIMAGE_OPTIONS_INIT) for the fields it lacks; a longer, newer
// one is accepted when every byte past the known fields is zero. Nullopt,
// with InvalidArgument recorded, for null, a size below
// QRIMAGE_OPTIONS_SIZE_V1 or above kLargestOptionsRecord, a non-zero unknown
// byte, or a resolution above kHighestDotsPerInch. Level, version, margin and
// module size are checked where they are used (encoder, geometry).
std::optional<PictureOptions> ReadOptions(const QrImageOptions* record) noexcept;

}  // namespace qrimage
