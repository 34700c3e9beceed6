// Reads a QR code picture back with zxing-cpp, a decoder nobody here wrote.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

struct DecodedSymbol {
    bool valid = false;
    QByteArray bytes;  // the symbol's raw content
    QString level;     // "L", "M", "Q" or "H"
};

DecodedSymbol Decode(const QImage& picture);
