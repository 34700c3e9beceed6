// Helpers shared by the library's tests: temporary folders and files, thread locales, library
// copies, their outputs read back (pictures.h) and decoded (zxing-cpp is the decoder oracle).
#pragma once

#include <dlfcn.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pictures.h"
#include "qrimage.h"

namespace qrtest {

namespace fs = std::filesystem;

// Names of everything in a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A new empty folder (mode 0700) in `parent`, removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const fs::path& parent = fs::temp_directory_path())
        : path_(parent / "qrimage-test-XXXXXX") {
        if (mkdtemp(path_.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed for " + path_);
        }
    }
    ~TempFolder() {
        std::error_code ignored;  // a test may have taken the owner's rights away
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Entries() const { return FolderEntries(path_); }

  private:
    std::string path_;
};

inline std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::optional(std::string(std::istreambuf_iterator<char>(in), {})) : std::nullopt;
}

inline void WriteFile(const std::string& path, const std::string& content) {
    if (!(std::ofstream(path, std::ios::binary | std::ios::trunc) << content).flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

// UTF-16 of an ASCII string.
inline std::u16string Wide(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

// `text` quoted for the shell.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The standard output of a shell command; nullopt when it fails.
inline std::optional<std::string> Output(const std::string& command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string output;
    char piece[4096];
    for (std::size_t got; pipe && (got = std::fread(piece, 1, sizeof piece, pipe.get())) > 0;) {
        output.append(piece, got);
    }
    return pipe && pclose(pipe.release()) == 0 ? std::optional(output) : std::nullopt;
}

// What the qrencode tool (the library's encoder) draws with `options` ("-l H ..."); side 0: none.
inline Picture Qrencode(const std::string& text, const std::string& options) {
    return FromPng(Output("qrencode -t PNG -o - " + options + " " + Quoted(text)).value_or(""));
}

// The calling thread's LC_CTYPE for a scope; throws std::runtime_error for a missing locale.
class ScopedThreadLocale {
    locale_t locale_, previous_;

  public:
    explicit ScopedThreadLocale(const std::string& name)
        : locale_(newlocale(LC_CTYPE_MASK, name.c_str(), locale_t(nullptr))),
          previous_(locale_ ? uselocale(locale_) : throw std::runtime_error("no locale " + name)) {}
    ~ScopedThreadLocale() { freelocale(uselocale(previous_)); }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;
};

// A library file loaded with RTLD_LOCAL, its exports as members: by default a private copy, whose
// colours (per library file) start from the defaults. Throws std::runtime_error when not loaded.
class Library {
    std::optional<TempFolder> folder_;  // holds the copy
    std::string path_;
    void* handle_;

  public:
    explicit Library(const std::string& file = "")
        : folder_(file.empty() ? std::optional<TempFolder>(std::in_place) : std::nullopt),
          path_(folder_ ? *folder_ / fs::path(QRIMAGE_LIBRARY_FILE).filename().string() : file),
          handle_(!folder_ || fs::copy_file(QRIMAGE_LIBRARY_FILE, path_)
                      ? dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL)
                      : nullptr) {
        if (handle_ == nullptr) {
            throw std::runtime_error("cannot load " + path_);
        }
    }
    ~Library() { dlclose(handle_); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const std::string& Path() const { return path_; }

#define QRTEST_EXPORT(name) \
    decltype(&::name) name = reinterpret_cast<decltype(&::name)>(dlsym(handle_, #name));
    // clang-format off
    QRTEST_EXPORT(GetHBitmapW) QRTEST_EXPORT(GetHBitmapA) QRTEST_EXPORT(DeleteObject)
    QRTEST_EXPORT(GetObjectW) QRTEST_EXPORT(GenerateBMPW) QRTEST_EXPORT(GenerateBMPA)
    QRTEST_EXPORT(GeneratePNGW) QRTEST_EXPORT(GeneratePNGA) QRTEST_EXPORT(GetPNGW)
    QRTEST_EXPORT(GetPNGA) QRTEST_EXPORT(DestroyBuffer) QRTEST_EXPORT(SetForegroundColor)
    QRTEST_EXPORT(GetForegroundColor) QRTEST_EXPORT(SetBackgroundColor)
    QRTEST_EXPORT(GetBackgroundColor) QRTEST_EXPORT(QrImageGetBlockW)
    QRTEST_EXPORT(QrImageWriteFileW)
    // clang-format on
#undef QRTEST_EXPORT
};

// The raw bytes of the one QR Code (or `format`) symbol in a picture (fourth bytes unread), if any.
inline std::optional<std::string> DecodeQrCode(
    const Picture& picture, ZXing::BarcodeFormat format = ZXing::BarcodeFormat::QRCode) {
    const ZXing::ImageView view(reinterpret_cast<const uint8_t*>(picture.bgra.data()),
                                int(picture.side), int(picture.side), ZXing::ImageFormat::BGRX);
    auto hints = ZXing::DecodeHints().setFormats(format).setTryHarder(true);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        // The general detector misses some large symbols at exactly 2 pixels a module; the one for
        // clean, upright pictures does not, and still checks every module by error correction.
        result = ZXing::ReadBarcode(view, hints.setIsPure(true));
    }
    return result.isValid()
               ? std::optional(std::string(result.bytes().begin(), result.bytes().end()))
               : std::nullopt;
}

}  // namespace qrtest
