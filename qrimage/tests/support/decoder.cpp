#include "decoder.h"

#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

namespace qrtest {

std::optional<std::string> DecodeQrCode(const unsigned char* pixels, int width, int height,
                                        PixelFormat format, int rowBytes) {
    const ZXing::ImageView view(
        pixels, width, height,
        format == PixelFormat::Bgra ? ZXing::ImageFormat::BGRX : ZXing::ImageFormat::Lum, rowBytes);
    auto hints = ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(true);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        // The general detector misses some large symbols drawn at exactly
        // 2 pixels a module; the detector for clean, upright pictures does
        // not, and still checks every module through error correction.
        result = ZXing::ReadBarcode(view, hints.setIsPure(true));
    }
    if (!result.isValid()) {
        return std::nullopt;
    }
    const ZXing::ByteArray& bytes = result.bytes();
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace qrtest
