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

using PngBlock = std::unique_ptr<unsigned char, decltype(&DestroyBuffer)>;

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
    const std::optional<ModuleGrid> grid = ReadModules(text, settings.margin, settings.level);
    if (!grid) {
        return LibraryFailure(LibraryError(), settings.level, "");
    }
    drawing = DrawHalfBlocks(*grid, coloured);
    return "";
}

// A private folder (mode 0700) in $TMPDIR for a picture that the library
// only writes as a file; removed with its content.
class ScratchFolder {
  public:
    ScratchFolder() : path_(MakePrivateFolder(error_)) {}
    ~ScratchFolder() {
        if (!path_.empty()) {
            RemoveFolder(path_);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Empty when the folder could not be made; Error() says why.
    const std::string& Path() const { return path_; }
    int Error() const { return error_; }

  private:
    int error_ = 0;  // before path_, which sets it
    std::string path_;
};

// Copies `in` to its end into `out`, a piece at a time.
std::string CopyTo(std::FILE* out, std::FILE* in, const std::string& inName,
                   const std::string& outName) {
    char piece[65536];
    for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, in)) > 0;) {
        if (std::string failure = WriteAllTo(out, piece, got, outName); !failure.empty()) {
            return failure;
        }
    }
    return std::ferror(in) ? "cannot read " + inName + ": " + SystemReason(errno) : "";
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
    return std::nullopt;
}

std::string WritePictureFile(const std::u16string& text, const PictureSettings& settings,
                             Format format, const std::string& path) {
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
    std::string reason;
    const std::optional<std::u16string> widePath = Utf8ToUtf16(path, reason);
    if (!widePath) {
        return "cannot write " + path + ": the file name is not UTF-8 (" + reason + ")";
    }
    ClearLibraryError();
    (format == Format::Png ? GeneratePNGW : GenerateBMPW)(LibraryText(*widePath), LibraryText(text),
                                                          settings.margin, settings.moduleSize,
                                                          settings.level);
    // The library leaves its error alone when it succeeds; the file must be there.
    if (const int error = LibraryError(); error != 0 || !FileExists(path)) {
        return LibraryFailure(error, settings.level, path);
    }
    return "";
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
        case Format::Png: {
            uint32_t size = 0;
            unsigned char* block = nullptr;
            ClearLibraryError();
            GetPNGW(LibraryText(text), settings.margin, settings.moduleSize, settings.level, &size,
                    &block);
            const PngBlock png(block, &DestroyBuffer);
            if (!png) {
                return LibraryFailure(LibraryError(), settings.level, "");
            }
            return WriteAllTo(out, png.get(), size, "standard output");
        }
        case Format::Bmp: {
            // The library writes BMP only as a file: it is made in a private
            // folder, and its name is gone as soon as it is open.
            const ScratchFolder scratch;
            if (scratch.Path().empty()) {
                return "cannot make a temporary folder: " + SystemReason(scratch.Error());
            }
            const std::string path = scratch.Path() + "/picture.bmp";
            if (std::string failure = WritePictureFile(text, settings, Format::Bmp, path);
                !failure.empty()) {
                return failure;
            }
            const std::unique_ptr<std::FILE, decltype(&std::fclose)> file(OpenForReading(path),
                                                                          &std::fclose);
            const int openError = errno;
            RemoveFile(path);
            if (!file) {
                return "cannot read " + path + ": " + SystemReason(openError);
            }
            return CopyTo(out, file.get(), path, "standard output");
        }
    }
    return "unknown format";
}

}  // namespace qrtool
