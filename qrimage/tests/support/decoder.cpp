#include "decoder.h"

#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

namespace qrtest {

std::optional<std::string> DecodeQrCode(const unsigned char* bgra, int width, int height) {
    const ZXing::ImageView view(bgra, width, height, ZXing::ImageFormat::BGRX);
    auto hints = ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(true);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        // The general detector misses some large symbols drawn at exactly
        // 2 pixels a module; the one for clean, upright pictures does not,
        // and still checks every module through error correction.
        result = ZXing::ReadBarcode(view, hints.setIsPure(true));
    }
    if (!result.isValid()) {
        return std::nullopt;
    }
    return std::string(result.bytes().begin(), result.bytes().end());
}

}  // namespace qrtest
