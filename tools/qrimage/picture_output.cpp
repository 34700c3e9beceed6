#include "picture_output.h"

#include <qrimage.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "failure_reason.h"
#include "file_access.h"
#include "terminal_drawing.h"
#include "utf8_text.h"

namespace qrtool {

namespace {

using PictureBlock = std::unique_ptr<unsigned char, decltype(&DestroyBuffer)>;

std::string WriteAllTo(std::FILE* out, const void* data, std::size_t size,
                       const std::string& name) {
    if (std::fwrite(data, 1, size, out) != size || std::fflush(out) != 0) {
        return "cannot write " + name + ": " + SystemReason(errno);
    }
    return "";
}

// The half-block drawing as text, or the library's reason.
std::string Drawing(const std::u16string& text, const PictureSettings& settings, bool coloured,
                    std::string& drawing) {
    ClearLibraryError();
    const std::optional<ModuleGrid> grid = ReadModules(text, OptionsRecord(settings));
    if (!grid) {
        return DrawingFailure(LibraryError(), settings.level);
    }
    drawing = DrawHalfBlocks(*grid, coloured);
    return "";
}

// The library's number of a picture format (not the drawing).
int32_t LibraryFormat(Format format) {
    switch (format) {
        case Format::Bmp:
            return QRIMAGE_BMP;
        case Format::Svg:
            return QRIMAGE_SVG;
        case Format::Eps:
            return QRIMAGE_EPS;
        default:
            return QRIMAGE_PNG;
    }
}

// Whether the classic exports make this picture: PNG and BMP without any of
// the picture's own options, byte for byte as they always have.
bool ClassicPicture(const PictureSettings& settings, Format format) {
    return (format == Format::Png || format == Format::Bmp) && !settings.HasOwnOptions();
}

}  // namespace

std::optional<Format> FormatOfPath(const std::string& path) {
    // The name's last part after its last dot; a name that starts with its
    // only dot (".png") has no extension. Both separators count, so that the
    // same name means the same format on every system.
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    const std::size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(c | 0x20); });
    if (extension == ".png") {
        return Format::Png;
    }
    if (extension == ".bmp") {
        return Format::Bmp;
    }
    if (extension == ".txt") {
        return Format::Utf8;
    }
    if (extension == ".svg") {
        return Format::Svg;
    }
    if (extension == ".eps") {
        return Format::Eps;
    }
    return std::nullopt;
}

QrImageOptions OptionsRecord(const PictureSettings& settings) {
    QrImageOptions record = QRIMAGE_OPTIONS_INIT;
    record.level = settings.level;
    record.margin = settings.margin;
    record.moduleSize = settings.moduleSize;
    // A colour not given is the shared one, drawn opaque as the classic
    // pictures draw it; the shared colours are read only for that.
    record.foreground =
        settings.foreground ? *settings.foreground : GetForegroundColor() | 0xFF000000u;
    record.background =
        settings.background ? *settings.background : GetBackgroundColor() | 0xFF000000u;
    record.dpi = settings.dpi;
    record.minVersion = settings.minVersion;
    record.micro = settings.micro ? 1 : 0;
    return record;
}

std::string WritePictureFile(const std::u16string& text, const PictureSettings& settings,
                             Format format, const std::string& path) {
    // One rule for every format: the library's W exports take UTF-8 names
    // only, so a drawing's name must be one too.
    std::string reason;
    const std::optional<std::u16string> widePath = Utf8ToUtf16(path, reason);
    if (!widePath) {
        return "cannot write " + path + ": the file name is not UTF-8 (" + reason + ")";
    }
    if (format == Format::Utf8) {
        std::string drawing;
        if (std::string failure = Drawing(text, settings, false, drawing); !failure.empty()) {
            return failure;
        }
        // The library's own replacement, so that a drawing file is replaced
        // by the same rules as a picture.
        const int error = ReplaceFileWithBytes(path, drawing);
        return error == 0 ? "" : LibraryFailure(error, settings.level, path);
    }
    ClearLibraryError();
    if (ClassicPicture(settings, format)) {
        (format == Format::Png ? GeneratePNGW : GenerateBMPW)(LibraryText(*widePath),
                                                              LibraryText(text), settings.margin,
                                                              settings.moduleSize, settings.level);
    } else {
        const QrImageOptions record = OptionsRecord(settings);
        QrImageWriteFileW(LibraryText(*widePath), LibraryText(text), &record,
                          LibraryFormat(format));
    }
    // The library leaves its error alone when it succeeds and sets it when
    // it fails: its word is enough. (The file system is not asked again: it
    // may refuse a long name that the library reached step by step.)
    const int error = LibraryError();
    return error == 0 ? "" : LibraryFailure(error, settings.level, path);
}

std::string WritePictureToStream(const std::u16string& text, const PictureSettings& settings,
                                 Format format, std::FILE* out, bool colouredDrawing) {
    switch (format) {
        case Format::Utf8: {
            std::string drawing;
            if (std::string failure = Drawing(text, settings, colouredDrawing, drawing);
                !failure.empty()) {
                return failure;
            }
            return WriteAllTo(out, drawing.data(), drawing.size(), "standard output");
        }
        default: {
            uint32_t size = 0;
            unsigned char* block = nullptr;
            ClearLibraryError();
            if (ClassicPicture(settings, format) && format == Format::Png) {
                GetPNGW(LibraryText(text), settings.margin, settings.moduleSize, settings.level,
                        &size, &block);
            } else {
                // The library writes every other picture into a block as well,
                // in the same bytes as its file.
                const QrImageOptions record = OptionsRecord(settings);
                QrImageGetBlockW(LibraryText(text), &record, LibraryFormat(format), &size, &block);
            }
            const PictureBlock picture(block, &DestroyBuffer);
            if (!picture) {
                return LibraryFailure(LibraryError(), settings.level, "");
            }
            return WriteAllTo(out, picture.get(), size, "standard output");
        }
    }
    return "unknown format";
}

}  // namespace qrtool
