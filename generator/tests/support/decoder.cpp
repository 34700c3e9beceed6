#define ZX_USE_UTF8
#include "decoder.h"

#include <ZXing/ReadBarcode.h>

DecodedSymbol Decode(const QImage& picture) {
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(),
                                ZXing::ImageFormat::Lum, static_cast<int>(grey.bytesPerLine()));
    const ZXing::Result result =
        ZXing::ReadBarcode(view, ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
    if (!result.isValid()) {
        return {};
    }
    const ZXing::ByteArray& bytes = result.bytes();
    return {true,
            QByteArray(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<qsizetype>(bytes.size())),
            QString::fromStdString(result.ecLevel())};
}
