#include "render/geometry.h"

#include "failure.h"

namespace qrimage {

std::optional<PictureGeometry> MakeGeometry(int32_t symbolWidth, int32_t margin,
                                            int32_t moduleSize) noexcept {
    if (symbolWidth < 1 || margin < 0 || moduleSize < 1) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    // 64-bit arithmetic, and every limit is checked by division before the
    // product is formed: modulesPerSide can reach 2^32 and the side 2^31, so
    // neither modulesPerSide * moduleSize nor 4 * side * side may be computed
    // unchecked (signed overflow).
    const int64_t modulesPerSide = int64_t(symbolWidth) + 2 * int64_t(margin);
    if (modulesPerSide > kMaxPixelBytes / moduleSize) {
        RecordFailure(Failure::PictureTooLarge);
        return std::nullopt;
    }
    const int64_t side = modulesPerSide * moduleSize;
    if (side > kMaxPixelBytes / 4 / side) {  // 4 * side * side > kMaxPixelBytes
        RecordFailure(Failure::PictureTooLarge);
        return std::nullopt;
    }
    return PictureGeometry{symbolWidth, moduleSize, int32_t(int64_t(margin) * moduleSize),
                           int32_t(side)};
}

}  // namespace qrimage
