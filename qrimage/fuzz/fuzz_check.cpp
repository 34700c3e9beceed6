#include "fuzz_check.h"

#include <ZXing/ReadBarcode.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>

namespace qrfuzz {
namespace {

constexpr int64_t kMaxPixelBytes = 0x7FFFFFFF;            // the library's limit
constexpr int64_t kBudgetPixelBytes = int64_t(16) << 20;  // pictures fuzzed
// Bytes of 8-bit data a version 40 symbol holds at L, M, Q, H. The encoder
// may split a text into numeric and alphanumeric segments by estimates made
// for small versions, which can cost a little more than one 8-bit segment:
// only three quarters of the capacity are taken as sure to fit.
constexpr std::size_t kSureFit[4] = {2953 * 3 / 4, 2331 * 3 / 4, 1663 * 3 / 4, 1273 * 3 / 4};

locale_t locales[3];  // C, C.UTF-8, CP1251 (C when missing)

// 4 * side^2 for a symbol `width` modules wide; beyond the library's limit
// (side > 23170), kMaxPixelBytes + 1. The arguments are valid.
int64_t PixelBytes(int64_t width, const CallArguments& a) {
    const int64_t modules = width + 2 * int64_t(a.margin);
    return modules > 23170 / a.moduleSize ? kMaxPixelBytes + 1
                                          : 4 * (modules * a.moduleSize) * (modules * a.moduleSize);
}

bool ValidArguments(const CallArguments& a) {
    return a.level >= 0 && a.level <= 3 && a.margin >= 0 && a.moduleSize >= 1;
}

uint32_t Le32(std::string_view bytes, std::size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;  // the fuzz targets run on little-endian hosts
}

// 4-byte pixel of a colour word: blue, green, red, 255.
std::string Pixel(uint32_t colour) {
    return {char(colour >> 16), char(colour >> 8), char(colour), '\xFF'};
}

// Decodes a clean picture of the symbol's modules (2 pixels each, 4 modules
// of quiet zone) with zxing-cpp, upright and unmirrored.
std::string DecodeModules(const std::vector<bool>& dark, int64_t width) {
    constexpr int64_t kScale = 2, kQuiet = 4;
    const int64_t side = (width + 2 * kQuiet) * kScale;
    std::vector<uint8_t> luminance(std::size_t(side * side), 255);
    for (int64_t y = 0; y < side; ++y) {
        for (int64_t x = 0; x < side; ++x) {
            const int64_t row = y / kScale - kQuiet, column = x / kScale - kQuiet;
            if (row >= 0 && column >= 0 && row < width && column < width &&
                dark[std::size_t(row * width + column)]) {
                luminance[std::size_t(y * side + x)] = 0;
            }
        }
    }
    const ZXing::ImageView view(luminance.data(), int(side), int(side), ZXing::ImageFormat::Lum);
    const ZXing::Result result = ZXing::ReadBarcode(
        view, ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setIsPure(true));
    FUZZ_REQUIRE(result.isValid());
    FUZZ_REQUIRE(!result.isMirrored() && result.orientation() == 0);
    return std::string(result.bytes().begin(), result.bytes().end());
}

void RemoveScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder(), ignored);
}

}  // namespace

void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\n*** invariant broken: %s (%s:%d)\n", what, file, line);
    std::abort();
}

void InitialiseTarget() {
    const char* names[] = {"C", "C.UTF-8", "ru_RU.CP1251"};
    for (int i = 0; i < 3; ++i) {
        locales[i] = newlocale(LC_CTYPE_MASK, names[i], nullptr);
        if (locales[i] == nullptr) {
            std::fprintf(stderr, "fuzz: no locale %s (run scripts/setup-deps); using C\n",
                         names[i]);
            locales[i] = locales[0];
        }
    }
    FUZZ_REQUIRE(locales[0] != nullptr);
    umask(022);
}

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qrimage-fuzz.XXXXXX";
        FUZZ_REQUIRE(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    static const int removal = std::atexit(RemoveScratchFolder);  // runs before folder's destructor
    (void)removal;
    return folder;
}

CallArguments ConsumeCallArguments(FuzzedDataProvider& input) {
    // Mode bits: raw level, raw margin, raw moduleSize, UTF-16 pairs, set
    // colours, then two bits of character set.
    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    const auto next = [&](int bit, int32_t low, int32_t high) {
        return (mode >> bit & 1) ? input.ConsumeIntegral<int32_t>()
                                 : input.ConsumeIntegralInRange(low, high);
    };
    CallArguments a{};
    a.level = next(0, -1, 4);
    a.margin = next(1, -1, 10);
    a.moduleSize = next(2, -1, 6);
    a.wideAsPairs = (mode >> 3 & 1) != 0;
    a.locale = locales[std::array{0, 1, 2, 1}[mode >> 5 & 3]];
    if (mode >> 4 & 1) {
        const uint32_t foreground = input.ConsumeIntegral<uint32_t>();
        a.colours = Colours{foreground, input.ConsumeIntegral<uint32_t>()};
    }
    return a;
}

locale_t Utf8Locale() {
    return locales[1];
}

std::u16string Widen(std::string_view bytes, locale_t locale, bool* exact) {
    const LocaleScope scope(locale);
    bytes = bytes.substr(0, bytes.find('\0'));
    std::u16string units;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < bytes.size();) {
        wchar_t code = 0;
        const std::size_t length =
            std::mbrtowc(&code, bytes.data() + at, bytes.size() - at, &state);
        // glibc's mbrtowc takes UTF-8 sequences beyond U+10FFFF that iconv
        // refuses byte by byte: such a character is malformed input too.
        if (length == std::size_t(-1) || length == std::size_t(-2) || code > 0x10FFFF) {
            if (exact != nullptr && MB_CUR_MAX > 1) {
                *exact = false;  // in a multibyte set, where to resume is iconv's call
            }
            units += u'\uFFFD';
            state = {};
            ++at;
            continue;
        }
        if (code >= 0x10000) {
            units += char16_t(0xD800 + ((code - 0x10000) >> 10));
            code = 0xDC00 + ((code - 0x10000) & 0x3FF);
        }
        units += char16_t(code);
        at += length;
    }
    return units;
}

std::u16string UnitsOfPairs(std::string_view bytes) {
    std::u16string units;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        units +=
            char16_t(uint8_t(bytes[i]) | (i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) : 0) << 8);
    }
    return units;
}

std::string Utf8Of(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size() && units[i] != 0; ++i) {
        char32_t code = units[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        const int tail = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        out += char(std::array{0x00, 0xC0, 0xE0, 0xF0}[tail] | (code >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) {
            out += char(0x80 | ((code >> (6 * k)) & 0x3F));
        }
    }
    return out;
}

Colours ApplyColours(const std::optional<Colours>& colours) {
    if (colours) {
        SetForegroundColor(colours->foreground);
        SetBackgroundColor(colours->background);
        FUZZ_REQUIRE(GetForegroundColor() == colours->foreground);
        FUZZ_REQUIRE(GetBackgroundColor() == colours->background);
    }
    return Colours{GetForegroundColor(), GetBackgroundColor()};
}

bool WorthCalling(const CallArguments& a, std::size_t textBytes) {
    return !ValidArguments(a) || textBytes == 0 || PixelBytes(21, a) > kMaxPixelBytes ||
           PixelBytes(177, a) <= kBudgetPixelBytes;
}

std::vector<int> Reasons(const CallArguments& a, std::size_t textBytes) {
    std::vector<int> reasons;
    if (!ValidArguments(a) || textBytes == 0) {
        reasons.push_back(EINVAL);
    }
    if (textBytes > kSureFit[a.level & 3]) {
        reasons.push_back(ERANGE);
    }
    if (ValidArguments(a) && PixelBytes(177, a) > kMaxPixelBytes) {
        reasons.push_back(EFBIG);
    }
    return reasons;
}

void CheckErrno(bool produced, int error, const std::vector<int>& reasons) {
    const bool expected =
        produced ? error == kUntouched : std::ranges::find(reasons, error) != reasons.end();
    if (!expected) {
        std::fprintf(stderr, "errno %d after a call that made %s\n", error,
                     produced ? "its picture" : "nothing");
    }
    FUZZ_REQUIRE(expected);
}

Picture TakeBitmap(HBITMAP handle, int32_t objectSize) {
    if (handle == nullptr) {
        return {};
    }
    FUZZ_REQUIRE(GetObjectW(handle, 0, nullptr) == int32_t(sizeof(BITMAP)));
    DIBSECTION d{};
    FUZZ_REQUIRE(GetObjectW(handle, sizeof d, &d) == int32_t(sizeof d));
    const int64_t side = d.dsBm.bmWidth;
    FUZZ_REQUIRE(d.dsBm.bmType == 0 && d.dsBm.bmHeight == side && d.dsBm.bmWidthBytes == 4 * side);
    FUZZ_REQUIRE(d.dsBm.bmPlanes == 1 && d.dsBm.bmBitsPixel == 32 && d.dsBm.bmBits != nullptr);
    const BITMAPINFOHEADER& h = d.dsBmih;
    FUZZ_REQUIRE(h.biSize == 40 && h.biWidth == side && h.biHeight == -side && h.biPlanes == 1);
    FUZZ_REQUIRE(h.biBitCount == 32 && h.biCompression == 0 && d.dshSection == nullptr);
    // Any size: the largest record that fits, the same as above, not a byte more.
    std::array<unsigned char, sizeof d + 16> out;
    out.fill(0xA5);
    errno = kUntouched;
    const int32_t written = GetObjectW(handle, objectSize, out.data());
    FUZZ_REQUIRE(errno == (written == 0 ? EINVAL : kUntouched));
    FUZZ_REQUIRE(written == (objectSize >= int32_t(sizeof d)         ? int32_t(sizeof d)
                             : objectSize >= int32_t(sizeof(BITMAP)) ? int32_t(sizeof(BITMAP))
                                                                     : 0));
    BITMAP basic{};
    DIBSECTION full{};
    std::memcpy(&basic, out.data(), sizeof basic);
    std::memcpy(&full, out.data(), sizeof full);
    FUZZ_REQUIRE(written < int32_t(sizeof basic) ||
                 (std::memcmp(&basic, &d.dsBm, offsetof(BITMAP, bmBits)) == 0 &&
                  basic.bmBits == d.dsBm.bmBits));
    FUZZ_REQUIRE(written < int32_t(sizeof d) ||
                 std::memcmp(&full.dsBmih, &d.dsBmih, sizeof d.dsBmih) == 0);
    for (std::size_t i = std::size_t(written); i < out.size(); ++i) {
        FUZZ_REQUIRE(out[i] == 0xA5);
    }
    Picture picture{side, std::string(static_cast<const char*>(d.dsBm.bmBits), 4 * side * side)};
    // Released once; the handle then names nothing, and no later bitmap.
    static HBITMAP lastReleased = nullptr;
    FUZZ_REQUIRE(handle != lastReleased && DeleteObject(handle) != 0);
    lastReleased = handle;
    errno = kUntouched;
    FUZZ_REQUIRE(DeleteObject(handle) == 0 && errno == EINVAL);
    FUZZ_REQUIRE(GetObjectW(handle, sizeof d, &d) == 0);
    return picture;
}

Picture DecodePng(std::string_view png, const Colours& colours) {
    // IHDR (1 bit, palette, no interlace), PLTE (foreground, background),
    // tRNS (both opaque) come first.
    FUZZ_REQUIRE(png.size() > 61);
    const auto rgb = [](uint32_t c) { return std::string{char(c), char(c >> 8), char(c >> 16)}; };
    FUZZ_REQUIRE(png.substr(12, 4) == "IHDR" && png.substr(24, 5) == std::string("\1\3\0\0\0", 5));
    FUZZ_REQUIRE(png.substr(29 + 4, 14) == std::string("\0\0\0\6PLTE", 8) +
                                               rgb(colours.foreground) + rgb(colours.background));
    FUZZ_REQUIRE(png.substr(51, 10) == std::string("\0\0\0\2tRNS\xFF\xFF", 10));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    FUZZ_REQUIRE(png_image_begin_read_from_memory(&image, png.data(), png.size()) != 0);
    image.format = PNG_FORMAT_BGRA;
    Picture picture{image.width, std::string(PNG_IMAGE_SIZE(image), '\0')};
    FUZZ_REQUIRE(image.width == image.height);
    FUZZ_REQUIRE(png_image_finish_read(&image, nullptr, picture.bgra.data(), 0, nullptr) != 0);
    return picture;
}

Picture DecodeBmp(std::string_view bmp) {
    FUZZ_REQUIRE(bmp.size() >= 54);
    const int64_t side = int32_t(Le32(bmp, 18)), bytes = 4 * side * side;
    FUZZ_REQUIRE(side > 0 && side < 23171 && int64_t(bmp.size()) == 54 + bytes);
    // File header: "BM", file size, reserved, pixel offset. Info header: 40
    // bytes, side x side (bottom row first), 1 plane, 32 bits, BI_RGB, the
    // pixel bytes, and zero resolution and palette fields.
    const uint32_t fields[] = {uint32_t(54 + bytes),
                               0,
                               54,
                               40,
                               uint32_t(side),
                               uint32_t(side),
                               1 | 32 << 16,
                               0,
                               uint32_t(bytes),
                               0,
                               0,
                               0,
                               0};
    FUZZ_REQUIRE(bmp.substr(0, 2) == "BM" && std::memcmp(bmp.data() + 2, fields, 52) == 0);
    Picture picture{side, {}};
    for (int64_t row = side - 1; row >= 0; --row) {
        picture.bgra += bmp.substr(std::size_t(54 + row * 4 * side), std::size_t(4 * side));
    }
    return picture;
}

void CheckPicture(const Picture& picture, const CallArguments& a, const Colours& colours,
                  const std::optional<std::string>& text) {
    // The geometry: side = (width + 2 * margin) * moduleSize for a symbol
    // width of some version, 17 + 4 * version.
    const int64_t side = picture.side, size = a.moduleSize, quiet = int64_t(a.margin) * size;
    FUZZ_REQUIRE(size >= 1 && side > 0 && side % size == 0 &&
                 int64_t(picture.bgra.size()) == 4 * side * side);
    const int64_t width = side / size - 2 * int64_t(a.margin);
    FUZZ_REQUIRE(width >= 21 && width <= 177 && (width - 17) % 4 == 0);
    // Two colours; the quiet zone is background; each module is one block.
    const std::string foreground = Pixel(colours.foreground),
                      background = Pixel(colours.background);
    std::vector<bool> dark(std::size_t(width * width));
    const char* pixels = picture.bgra.data();
    for (int64_t y = 0; y < side; ++y) {
        for (int64_t x = 0; x < side; ++x) {
            const std::string_view pixel(pixels + 4 * (y * side + x), 4);
            FUZZ_REQUIRE(pixel == foreground || pixel == background);
            if (x < quiet || y < quiet || x >= side - quiet || y >= side - quiet) {
                FUZZ_REQUIRE(pixel == background);
                continue;
            }
            const int64_t row = (y - quiet) / size, column = (x - quiet) / size;
            const int64_t corner = (quiet + row * size) * side + quiet + column * size;
            FUZZ_REQUIRE(pixel == std::string_view(pixels + 4 * corner, 4));
            dark[std::size_t(row * width + column)] = pixel == foreground;
        }
    }
    if (foreground != background) {
        FUZZ_REQUIRE(dark[0]);  // the top-left finder pattern's corner
        const std::string decoded = DecodeModules(dark, width);
        FUZZ_REQUIRE(!text || decoded == *text);
    }
}

}  // namespace qrfuzz
