// GeneratePNGW and GeneratePNGA: the picture as a PNG file, replaced
// atomically.
#include <qrimage.h>

#include <optional>
#include <string>

#include "atomic_file.h"
#include "call_guard.h"
#include "colours.h"
#include "geometry.h"
#include "png_writer.h"
#include "symbol.h"
#include "text_conversion.h"

namespace qrimage {

namespace {

// libpng hands over the chunks in small pieces (a chunk's header, its data
// and its CRC separately); gathering them saves system calls.
constexpr std::size_t kFileBufferBytes = 64 * 1024;

// libpng's write function for a file. Nothing with a destructor is alive here
// when png_error leaves the function.
void PngFileWrite(png_structp png, png_bytep data, png_size_t length) {
    if (!static_cast<AtomicFile*>(png_get_io_ptr(png))->Write(data, length)) {
        png_error(png, "Write Error");
    }
}

// The file is finished by AtomicFile::Commit.
void PngFileFlush(png_structp) {}

void GeneratePng(const char16_t* fileName, const char16_t* text, int32_t margin, int32_t moduleSize,
                 int32_t level) {
    if (fileName == nullptr || text == nullptr) {
        return;
    }
    SymbolPtr code = EncodeTextW(text, level);
    if (!code) {
        return;
    }
    const Symbol symbol(std::move(code));
    const std::optional<PictureGeometry> geometry =
        MakeGeometry(symbol.Width(), margin, moduleSize);
    if (!geometry) {
        return;
    }
    const Colours colours = LoadColours();
    std::optional<AtomicFile> file = AtomicFile::Open(Utf16ToUtf8(fileName), kFileBufferBytes);
    if (file && WritePng(symbol, *geometry, colours, PngSink{PngFileWrite, PngFileFlush, &*file})) {
        file->Commit();
    }
}

}  // namespace

}  // namespace qrimage

extern "C" {

QRIMAGE_API void QRIMAGE_CALL GeneratePNGW(const qrimage_char16* fileName,
                                           const qrimage_char16* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    qrimage::CallGuarded([&] { qrimage::GeneratePng(fileName, text, margin, moduleSize, level); });
}

QRIMAGE_API void QRIMAGE_CALL GeneratePNGA(const char* fileName, const char* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    qrimage::CallGuarded([&] {
        if (fileName == nullptr || text == nullptr) {
            return;
        }
        const std::optional<std::u16string> wideName = qrimage::WidenAnsiText(fileName);
        const std::optional<std::u16string> wideText = qrimage::WidenAnsiText(text);
        if (wideName && wideText) {
            qrimage::GeneratePng(wideName->c_str(), wideText->c_str(), margin, moduleSize, level);
        }
    });
}

}  // extern "C"
