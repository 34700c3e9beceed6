// qr_decode PICTURE: writes the raw content of the QR code in a picture file
// (any format Qt reads, BMP included) to standard output, as zxing-cpp reads
// it. Exit status 1 when there is no readable code.
#include <QImage>

#include <cstdio>

#include "support/test_support.h"

int main(int argc, char** argv) {
    const DecodedSymbol symbol = Decode(QImage(argc == 2 ? QString::fromLocal8Bit(argv[1]) : ""));
    if (symbol.level.isEmpty()) {
        std::fprintf(stderr, "usage: qr_decode PICTURE; no QR code read\n");
        return 1;
    }
    std::fwrite(symbol.bytes.constData(), 1, symbol.bytes.size(), stdout);
    return std::ferror(stdout) ? 1 : 0;
}
