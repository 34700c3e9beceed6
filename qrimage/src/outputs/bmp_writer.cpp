// The BMP writer, streamed straight from the symbol: rows are
// composed one symbol row at a time into a block of about 256 KiB that goes to
// the file whenever it is full, so neither the picture nor a copy of it is
// ever held in memory whole.
#include "outputs/bmp_writer.h"

#include <qrimage.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "colours/colours.h"
#include "render/bgra_row.h"
#include "render/picture.h"

namespace qrimage {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes;
constexpr uint16_t kBitmapFileType = 0x4D42;  // "BM" read as a little-endian word
constexpr uint32_t kRgbCompression = 0;       // BI_RGB: plain pixels, no palette
constexpr std::size_t kBlockBytes = 256 * 1024;

void PutLittleEndian16(unsigned char* at, uint16_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void PutLittleEndian32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = uint8_t(value >> (8 * i));
    }
}

// The info header for a picture: positive height, because the rows are
// stored bottom row first; one plane of 32 bits per pixel, so no palette.
// MakeGeometry bounds the picture below 2^31 bytes, so every field fits.
BITMAPINFOHEADER MakeBmpInfoBlock(const PictureGeometry& geometry, uint32_t dotsPerInch) {
    BITMAPINFOHEADER info{};
    info.biSize = uint32_t(kInfoHeaderBytes);
    info.biWidth = geometry.side;
    info.biHeight = geometry.side;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = kRgbCompression;
    info.biSizeImage = uint32_t(geometry.PictureBytes32());
    info.biXPelsPerMeter = int32_t(PixelsPerMetre(dotsPerInch));
    info.biYPelsPerMeter = info.biXPelsPerMeter;
    return info;
}

// Both headers as the file stores them, little-endian whatever the host.
std::array<unsigned char, kHeaderBytes> SerializeHeaders(const BITMAPINFOHEADER& info) {
    std::array<unsigned char, kHeaderBytes> bytes{};
    unsigned char* file = bytes.data();
    PutLittleEndian16(file + 0, kBitmapFileType);
    PutLittleEndian32(file + 2, uint32_t(kHeaderBytes) + info.biSizeImage);
    PutLittleEndian32(file + 10, uint32_t(kHeaderBytes));  // pixels follow the headers
    unsigned char* header = file + kFileHeaderBytes;
    PutLittleEndian32(header + 0, info.biSize);
    PutLittleEndian32(header + 4, uint32_t(info.biWidth));
    PutLittleEndian32(header + 8, uint32_t(info.biHeight));
    PutLittleEndian16(header + 12, info.biPlanes);
    PutLittleEndian16(header + 14, info.biBitCount);
    PutLittleEndian32(header + 16, info.biCompression);
    PutLittleEndian32(header + 20, info.biSizeImage);
    PutLittleEndian32(header + 24, uint32_t(info.biXPelsPerMeter));
    PutLittleEndian32(header + 28, uint32_t(info.biYPelsPerMeter));
    PutLittleEndian32(header + 32, info.biClrUsed);
    PutLittleEndian32(header + 36, info.biClrImportant);
    return bytes;
}

// Gathers whole pixel rows and hands them to the file in blocks.
class RowBlockWriter {
  public:
    RowBlockWriter(ByteSink& file, std::size_t rowBytes, int32_t rowCount)
        : file_(file),
          rowBytes_(rowBytes),
          capacityRows_(std::min<std::size_t>(std::max<std::size_t>(1, kBlockBytes / rowBytes),
                                              std::size_t(rowCount))),
          block_(std::make_unique_for_overwrite<unsigned char[]>(capacityRows_ * rowBytes)) {}

    // Appends `times` copies of `row`; false once the file failed.
    bool Append(const unsigned char* row, int32_t times) {
        for (int32_t i = 0; i < times; ++i) {
            std::memcpy(block_.get() + storedRows_ * rowBytes_, row, rowBytes_);
            if (++storedRows_ == capacityRows_ && !Flush()) {
                return false;
            }
        }
        return true;
    }

    bool Flush() {
        const std::size_t rows = std::exchange(storedRows_, 0);
        return file_.Write(block_.get(), rows * rowBytes_);
    }

  private:
    ByteSink& file_;
    std::size_t rowBytes_;
    std::size_t capacityRows_;
    std::unique_ptr<unsigned char[]> block_;
    std::size_t storedRows_ = 0;
};

// Writes headers and pixels, bottom row first: the bottom quiet zone, the
// symbol rows from the last to the first, the top quiet zone. Each symbol
// row is composed once and stored moduleSize times. Returns false when the
// sink failed.
bool WriteBmpRows(ByteSink& file, const Picture& picture) {
    const Symbol& symbol = picture.symbol;
    const PictureGeometry& geometry = picture.geometry;
    const Colours& colours = picture.colours;
    const auto headers = SerializeHeaders(MakeBmpInfoBlock(geometry, picture.dotsPerInch));
    if (!file.Write(headers.data(), headers.size())) {
        return false;
    }
    RowBlockWriter blocks(file, geometry.RowBytes32(), geometry.side);
    std::vector<unsigned char> row(geometry.RowBytes32());

    FillPixels(row.data(), geometry.side, BgraPixel(colours.background));
    if (!blocks.Append(row.data(), geometry.quietPixels)) {
        return false;
    }
    for (int32_t symbolRow = symbol.Width() - 1; symbolRow >= 0; --symbolRow) {
        ComposeBgraRow(geometry, symbol.Row(symbolRow), colours, row.data());
        if (!blocks.Append(row.data(), geometry.moduleSize)) {
            return false;
        }
    }
    FillPixels(row.data(), geometry.side, BgraPixel(colours.background));
    return blocks.Append(row.data(), geometry.quietPixels) && blocks.Flush();
}

}  // namespace

bool WriteBmp(const Picture& picture, ByteSink& sink) {
    return WriteBmpRows(sink, picture);
}

}  // namespace qrimage
