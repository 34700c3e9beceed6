// qr_decode PICTURE: writes the raw content of the QR code in a picture file
// (any format Qt reads, BMP included) to standard output, read by zxing-cpp,
// a decoder nobody here wrote. Exit status 1 when there is no readable code,
// 2 when the file cannot be read.
#define ZX_USE_UTF8
#include <QImage>
#include <QString>

#include <ZXing/ReadBarcode.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PICTURE\n", argv[0]);
        return 2;
    }
    const QImage picture =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_Grayscale8);
    if (picture.isNull()) {
        std::fprintf(stderr, "%s: cannot read the picture\n", argv[1]);
        return 2;
    }
    const ZXing::ImageView view(picture.constBits(), picture.width(), picture.height(),
                                ZXing::ImageFormat::Lum, static_cast<int>(picture.bytesPerLine()));
    const ZXing::Result result =
        ZXing::ReadBarcode(view, ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
    if (!result.isValid()) {
        std::fprintf(stderr, "%s: no QR code found\n", argv[1]);
        return 1;
    }
    const ZXing::ByteArray& bytes = result.bytes();
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() ? 0 : 2;
}
