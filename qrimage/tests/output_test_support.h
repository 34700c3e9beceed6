// Helpers for the tests of the file and PNG outputs: temporary folders, file
// contents, pixels read back from BMP and PNG bytes, and the qrencode tool.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrtest {

// Names of everything in a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A new empty folder, removed with everything in it at the end of the scope.
class TempFolder {
  public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/qrimage-output-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed for " + pattern);
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
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
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Whether the file at `path` holds `expected` (nullopt: does not exist);
// on failure says what it holds instead, briefly.
inline ::testing::AssertionResult FileHolds(const std::string& path,
                                            const std::optional<std::string>& expected) {
    const std::optional<std::string> actual = ReadFile(path);
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << path
           << (actual ? " holds " + std::to_string(actual->size()) + " bytes starting " +
                            ::testing::PrintToString(actual->substr(0, 8))
                      : std::string(" does not exist"));
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

// UTF-16 of an ASCII string.
inline std::u16string Wide(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

// A picture read back from a file format: 0xRRGGBB per pixel, top row first.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
    bool operator==(const RgbPicture&) const = default;

    // Luminance bytes for the decoder.
    std::vector<unsigned char> Grey() const {
        std::vector<unsigned char> grey;
        grey.reserve(pixels.size());
        for (uint32_t p : pixels) {
            grey.push_back(uint8_t(((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3));
        }
        return grey;
    }
};

// Decodes a PNG with libpng's simplified reader; nullopt when libpng refuses it.
inline std::optional<RgbPicture> DecodePng(const std::string& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    RgbPicture picture{int(image.width), int(image.height), {}};
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        picture.pixels.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
    }
    return picture;
}

inline uint32_t LittleEndian32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | uint8_t(bytes.at(at + i));
    }
    return value;
}

inline uint16_t LittleEndian16(const std::string& bytes, std::size_t at) {
    return uint16_t(uint8_t(bytes.at(at)) | uint8_t(bytes.at(at + 1)) << 8);
}

// The pixels of a 32-bit bottom-up BMP as the headers describe them. Checks
// only what it needs to find the pixels; the layout tests check the rest.
inline RgbPicture DecodeBmp(const std::string& bytes) {
    const int width = int(LittleEndian32(bytes, 18));
    const int height = int(LittleEndian32(bytes, 22));
    const std::size_t offset = LittleEndian32(bytes, 10);
    if (bytes.size() != offset + std::size_t(width) * height * 4) {
        throw std::runtime_error("BMP pixel data has the wrong length");
    }
    RgbPicture picture{width, height, std::vector<uint32_t>(std::size_t(width) * height)};
    for (int stored = 0; stored < height; ++stored) {
        const int y = height - 1 - stored;
        for (int x = 0; x < width; ++x) {
            const std::size_t at = offset + (std::size_t(stored) * width + x) * 4;
            picture.pixels[std::size_t(y) * width + x] = uint32_t(uint8_t(bytes[at + 2])) << 16 |
                                                         uint32_t(uint8_t(bytes[at + 1])) << 8 |
                                                         uint8_t(bytes[at]);
        }
    }
    return picture;
}

// Runs a program with arguments and no shell; returns its exit status, or -1
// when it did not exit normally.
inline int RunProgram(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// The PNG that the qrencode tool makes of a text: the same libqrencode call
// (8-bit mode hint, case sensitive) as the library's.
inline std::string QrencodeToolPng(const std::string& text, int level, int margin, int moduleSize) {
    TempFolder folder;
    const std::string output = folder / "qrencode.png";
    const std::string levels = "LMQH";
    const int status = RunProgram({"qrencode", "-l", std::string(1, levels.at(level)), "-s",
                                   std::to_string(moduleSize), "-m", std::to_string(margin), "-t",
                                   "PNG", "-o", output, text});
    if (status != 0) {
        throw std::runtime_error("qrencode exited with status " + std::to_string(status));
    }
    return ReadFile(output).value();
}

}  // namespace qrtest
