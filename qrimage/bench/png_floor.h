// Lower bounds shared by the benchmarks: libpng with the library's settings
// on rows packed before the clock starts, and the atomic replacement of a
// file (temporary file beside the target, then rename) that every file the
// library writes goes through.
#pragma once

#include <fcntl.h>
#include <png.h>
#include <qrencode.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csetjmp>
#include <cstddef>
#include <string>
#include <vector>

namespace qrbench {

// A picture as 1-bit rows: each module row packed once, its pointer repeated
// for every pixel row it covers, as the library hands rows to libpng.
struct PackedPicture {
    png_uint_32 side = 0;
    std::vector<png_byte> packed;
    std::vector<png_bytep> rows;  // side pointers into `packed`
};

inline PackedPicture Pack(const QRcode& symbol, int margin, int moduleSize) {
    PackedPicture picture;
    const std::size_t modules = std::size_t(symbol.width + 2 * margin);
    const std::size_t side = modules * std::size_t(moduleSize), rowBytes = (side + 7) / 8;
    picture.side = png_uint_32(side);
    picture.packed.assign(rowBytes * modules, 0xFF);
    for (std::size_t row = 0; row < modules; ++row) {
        for (std::size_t x = 0; x < side; ++x) {
            const std::size_t column = x / std::size_t(moduleSize);
            const bool inside = row >= std::size_t(margin) && column >= std::size_t(margin) &&
                                row - margin < std::size_t(symbol.width) &&
                                column - margin < std::size_t(symbol.width);
            if (inside && (symbol.data[(row - margin) * symbol.width + column - margin] & 1u)) {
                picture.packed[row * rowBytes + x / 8] &= png_byte(~(0x80u >> (x % 8)));
            }
        }
    }
    for (std::size_t y = 0; y < side; ++y) {
        picture.rows.push_back(picture.packed.data() + y / std::size_t(moduleSize) * rowBytes);
    }
    return picture;
}

inline void AppendToString(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
inline void FlushNothing(png_structp) {}

// Plain data only between setjmp and the end: a libpng error longjmps here.
inline bool WritePngSteps(png_structp png, png_infop info, std::string* out,
                          const PackedPicture& picture) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, out, AppendToString, FlushNothing);
    png_set_IHDR(png, info, picture.side, picture.side, 1, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[2] = {{0, 0, 0}, {255, 255, 255}};
    png_set_PLTE(png, info, palette, 2);
    png_byte opaque[2] = {255, 255};
    png_set_tRNS(png, info, opaque, 2, nullptr);
    png_write_info(png, info);
    for (png_bytep row : picture.rows) {
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

// The PNG of a packed picture, appended to `out` (cleared first).
inline bool WritePrepackedPng(const PackedPicture& picture, std::string* out) {
    out->clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const bool written =
        png != nullptr && info != nullptr && WritePngSteps(png, info, out, picture);
    png_destroy_write_struct(&png, &info);
    return written;
}

// Replaces `path` with `size` bytes the way the library does: look at the
// target, create a temporary file beside it, write, close, rename over it.
inline bool ReplaceAtomically(const std::string& path, const void* data, std::size_t size) {
    struct stat existing {};
    (void)lstat(path.c_str(), &existing);
    const std::string temporary = path + ".floor.tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool written = write(fd, data, size) == ssize_t(size);
    return close(fd) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace qrbench
