#include "encode/picture_options.h"

#include <algorithm>
#include <cstring>

#include "failure.h"

namespace qrimage {

std::optional<PictureOptions> ReadOptions(const QrImageOptions* record) noexcept {
    if (record == nullptr || record->size < QRIMAGE_OPTIONS_SIZE_V1 ||
        record->size > kLargestOptionsRecord) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(record);
    const std::size_t known = sizeof(QrImageOptions);
    if (record->size > known &&
        std::any_of(bytes + known, bytes + record->size, [](unsigned char b) { return b != 0; })) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    QrImageOptions options = QRIMAGE_OPTIONS_INIT;
    std::memcpy(&options, record, std::min<std::size_t>(record->size, known));
    if (options.dpi > kHighestDotsPerInch) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    return PictureOptions{SymbolKind{options.level, options.minVersion, options.micro != 0},
                          options.margin, options.moduleSize,
                          Colours{options.foreground, options.background}, options.dpi};
}

}  // namespace qrimage
