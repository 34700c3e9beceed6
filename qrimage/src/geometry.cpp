#include "geometry.h"

namespace qrimage {

std::optional<PictureGeometry> MakeGeometry(int32_t symbolWidth, int32_t margin,
                                            int32_t moduleSize) noexcept {
    if (symbolWidth < 1 || margin < 0 || moduleSize < 1) {
        return std::nullopt;
    }
    // 64-bit arithmetic: each factor is below 2^31, so no product overflows
    // before the limit check.
    const int64_t modulesPerSide = int64_t(symbolWidth) + 2 * int64_t(margin);
    const int64_t side = modulesPerSide * moduleSize;
    if (side > kMaxPixelBytes || 4 * side * side > kMaxPixelBytes) {
        return std::nullopt;
    }
    return PictureGeometry{symbolWidth, moduleSize, int32_t(int64_t(margin) * moduleSize),
                           int32_t(side)};
}

}  // namespace qrimage
