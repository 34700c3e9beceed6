// GeneratePNGW and GeneratePNGA: the picture as a PNG file, replaced
// atomically.
#include <qrimage.h>

#include <optional>
#include <string>

#include "atomic_file.h"
#include "call_guard.h"
#include "colours.h"
#include "file_name.h"
#include "picture.h"
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

void GeneratePng(const std::optional<NativeFileName>& fileName, const char16_t* text,
                 int32_t margin, int32_t moduleSize, int32_t level) {
    if (!fileName) {
        return;
    }
    const std::optional<Picture> picture =
        MakePicture(EncodeTextW(text, level), margin, moduleSize);
    if (!picture) {
        return;
    }
    std::optional<AtomicFile> file = AtomicFile::Open(*fileName, kFileBufferBytes);
    if (file && WritePng(*picture, PngSink{PngFileWrite, PngFileFlush, &*file})) {
        file->Commit();
    }
}

}  // namespace

}  // namespace qrimage

extern "C" {

QRIMAGE_API void QRIMAGE_CALL GeneratePNGW(const qrimage_char16* fileName,
                                           const qrimage_char16* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    qrimage::CallGuarded([&] {
        qrimage::GeneratePng(qrimage::FileNameFromWide(qrimage::AsUtf16(fileName)),
                             qrimage::AsUtf16(text), margin, moduleSize, level);
    });
}

QRIMAGE_API void QRIMAGE_CALL GeneratePNGA(const char* fileName, const char* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    qrimage::CallGuarded([&] {
        const std::optional<qrimage::NativeFileName> name = qrimage::FileNameFromNarrow(fileName);
        const std::optional<std::u16string> wideText =
            qrimage::WidenAnsiText(text, qrimage::kLongestText);
        if (name && wideText) {
            qrimage::GeneratePng(name, wideText->c_str(), margin, moduleSize, level);
        }
    });
}

}  // extern "C"
