// GetHBitmapW and GetHBitmapA: the picture in a new bitmap section
// (bitmap_section.h).
#include <optional>

#include "bitmap_section.h"
#include "call_guard.h"
#include "picture.h"
#include "qrimage.h"
#include "text_conversion.h"

namespace qrimage {
namespace {

HBITMAP MakeBitmapHandle(const char16_t* text, int32_t margin, int32_t moduleSize, int32_t level) {
    const std::optional<Picture> picture =
        MakePicture(EncodeTextW(text, level), margin, moduleSize);
    if (!picture) {
        return nullptr;
    }
    return MakeBitmapSection(*picture);
}

}  // namespace
}  // namespace qrimage

extern "C" {

QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapW(const qrimage_char16* text, int32_t margin,
                                             int32_t moduleSize, int32_t level) {
    return qrimage::CallGuarded<HBITMAP>(nullptr, [&] {
        return qrimage::MakeBitmapHandle(qrimage::AsUtf16(text), margin, moduleSize, level);
    });
}

QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapA(const char* text, int32_t margin, int32_t moduleSize,
                                             int32_t level) {
    return qrimage::CallGuarded<HBITMAP>(nullptr, [&]() -> HBITMAP {
        const std::optional<std::u16string> wide =
            qrimage::WidenAnsiText(text, qrimage::kLongestText);
        if (!wide) {
            return nullptr;
        }
        return qrimage::MakeBitmapHandle(wide->c_str(), margin, moduleSize, level);
    });
}

}  // extern "C"
