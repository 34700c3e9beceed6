#include "fuzz_model.h"

#include <png.h>
#include <qrencode.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

namespace qrfuzz {
namespace {

constexpr uint64_t kMaxPixelBytes = 0x7FFFFFFF;
constexpr char32_t kReplacement = 0xFFFD;

struct Locales {
    locale_t ascii = nullptr;
    locale_t utf8 = nullptr;
    locale_t cp1251 = nullptr;
    std::array<char32_t, 256> cp1251Table{};
};

Locales& TheLocales() {
    static Locales locales;
    return locales;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at the start of `bytes` (the
// Unicode table of well-formed sequences: no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0 when it is malformed. `code` gets its value.
std::size_t DecodeUtf8(std::string_view bytes, char32_t& code) {
    const auto at = [&](std::size_t i) { return i < bytes.size() ? uint8_t(bytes[i]) : 0u; };
    const unsigned lead = at(0);
    const auto tail = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return at(i) >= low && at(i) <= high;
    };
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF && tail(1)) {
        code = ((lead & 0x1F) << 6) | (at(1) & 0x3F);
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        if (tail(1, low, high) && tail(2)) {
            code = ((lead & 0x0F) << 12) | ((at(1) & 0x3F) << 6) | (at(2) & 0x3F);
            return 3;
        }
        return 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        if (tail(1, low, high) && tail(2) && tail(3)) {
            code = ((lead & 0x07) << 18) | ((at(1) & 0x3F) << 12) | ((at(2) & 0x3F) << 6) |
                   (at(3) & 0x3F);
            return 4;
        }
    }
    return 0;
}

std::string_view UpToNul(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// Side of the picture for a symbol `width` modules wide, or 0 when the
// library must refuse it (negative margin, moduleSize below 1, more than
// kMaxPixelBytes of 32-bit pixel memory). No overflow: (width + 2 * margin)
// stays below 2^33 and moduleSize below 2^31.
uint64_t ValidSide(int32_t width, int32_t margin, int32_t moduleSize) {
    if (margin < 0 || moduleSize < 1) {
        return 0;
    }
    const uint64_t side = (uint64_t(width) + 2 * uint64_t(margin)) * uint64_t(moduleSize);
    if (side > kMaxPixelBytes || 4 * side * side > kMaxPixelBytes) {
        return 0;
    }
    return side;
}

uint32_t Rgb(uint32_t colour) {
    return colour & 0x00FFFFFFu;
}

uint32_t ReadLe32(std::string_view bytes, std::size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}
uint32_t ReadLe16(std::string_view bytes, std::size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8;
}
uint32_t ReadBe32(std::string_view bytes, std::size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

// Whether the 7 x 7 finder pattern with its top-left module at (column, row)
// is in place: dark outer ring, light ring, dark 3 x 3 centre.
bool FinderAt(const std::vector<unsigned char>& dark, int32_t width, int32_t column, int32_t row) {
    for (int32_t y = 0; y < 7; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
            const int32_t ring = std::max(std::abs(x - 3), std::abs(y - 3));
            const bool expected = ring != 2;
            if (bool(dark[std::size_t(row + y) * width + column + x]) != expected) {
                return false;
            }
        }
    }
    return true;
}

std::string& FailureContext() {
    static std::string context;
    return context;
}

}  // namespace

void SetFailureContext(std::string context) {
    FailureContext() = std::move(context);
}

void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\n*** invariant broken: %s (%s:%d)\n", what, file, line);
    if (!FailureContext().empty()) {
        std::fprintf(stderr, "*** %s\n", FailureContext().c_str());
    }
    std::abort();
}

void InitialiseCharsets() {
    Locales& locales = TheLocales();
    locales.ascii = newlocale(LC_CTYPE_MASK, "C", nullptr);
    locales.utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    for (const char* name : {"ru_RU.CP1251", "ru_RU.cp1251"}) {
        if (locales.cp1251 == nullptr) {
            locales.cp1251 = newlocale(LC_CTYPE_MASK, name, nullptr);
        }
    }
    FUZZ_REQUIRE(locales.ascii != nullptr);
    if (locales.utf8 == nullptr || locales.cp1251 == nullptr) {
        std::fprintf(stderr,
                     "fuzz: a locale is missing (run scripts/setup-deps); using C instead\n");
    }
    if (locales.cp1251 != nullptr) {
        // The code page's own table, read through mbrtowc rather than iconv.
        const locale_t previous = uselocale(locales.cp1251);
        for (unsigned byte = 1; byte < 256; ++byte) {
            const char in = char(byte);
            std::mbstate_t state{};
            wchar_t wide = 0;
            locales.cp1251Table[byte] =
                std::mbrtowc(&wide, &in, 1, &state) == 1 ? char32_t(wide) : kReplacement;
        }
        uselocale(previous);
    }
}

Charset EffectiveCharset(Charset wanted) {
    const Locales& locales = TheLocales();
    if ((wanted == Charset::Utf8 && locales.utf8 == nullptr) ||
        (wanted == Charset::Cp1251 && locales.cp1251 == nullptr)) {
        return Charset::Ascii;
    }
    return wanted;
}

CharsetScope::CharsetScope(Charset charset) {
    const Locales& locales = TheLocales();
    locale_t wanted = locales.ascii;
    switch (EffectiveCharset(charset)) {
        case Charset::Utf8:
            wanted = locales.utf8;
            break;
        case Charset::Cp1251:
            wanted = locales.cp1251;
            break;
        case Charset::Ascii:
            break;
    }
    previous_ = uselocale(wanted);
}

CharsetScope::~CharsetScope() {
    uselocale(previous_);
}

std::string Utf8OfUtf16(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size() && units[i] != 0; ++i) {
        const char16_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool next_low =
            i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (high && next_low) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string Utf16OfBytes(std::string_view bytes, bool asPairs) {
    std::u16string units;
    if (asPairs) {
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            const unsigned low = uint8_t(bytes[i]);
            const unsigned high = i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) : 0u;
            units += char16_t(low | high << 8);
        }
        return units;
    }
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(bytes.substr(i), code);
        if (length == 0) {
            units += char16_t(0xDC00 + uint8_t(bytes[i]));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            units += char16_t(0xD800 + ((code - 0x10000) >> 10));
            units += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            units += char16_t(code);
        }
        i += length;
    }
    return units;
}

std::optional<std::string> Utf8OfNarrow(std::string_view bytes, Charset charset) {
    bytes = UpToNul(bytes);
    std::string out;
    switch (EffectiveCharset(charset)) {
        case Charset::Ascii:
            for (const char byte : bytes) {
                AppendUtf8(out, uint8_t(byte) < 0x80 ? char32_t(byte) : kReplacement);
            }
            return out;
        case Charset::Cp1251:
            for (const char byte : bytes) {
                AppendUtf8(out, TheLocales().cp1251Table[uint8_t(byte)]);
            }
            return out;
        case Charset::Utf8:
            for (std::size_t i = 0; i < bytes.size();) {
                char32_t code = 0;
                const std::size_t length = DecodeUtf8(bytes.substr(i), code);
                if (length == 0) {
                    return std::nullopt;
                }
                i += length;
            }
            return std::string(bytes);
    }
    return std::nullopt;
}

Model Predict(const std::optional<std::string>& utf8, int32_t level, int32_t margin,
              int32_t moduleSize, std::size_t lengthBound) {
    Model model;
    model.margin = margin;
    model.moduleSize = moduleSize;
    if (level < 0 || level > 3 || margin < 0 || moduleSize < 1) {
        return model;  // Nothing, whatever the text
    }
    if (!utf8) {
        // As many bytes in 8-bit mode, the least dense, need the widest symbol.
        model.kind = Model::Kind::Unknown;
        const std::string widest(std::min<std::size_t>(lengthBound, 4000), 'a');
        const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
            QRcode_encodeString(widest.c_str(), 0, QRecLevel(level), QR_MODE_8, 1), &QRcode_free);
        model.width = code ? code->width : 177;
        return model;
    }
    // The library's one encoder call, made here with the model's own UTF-8.
    // The targets often ask for the same text twice (W and A flavours of an
    // ASCII input), and a version 40 symbol takes a while: the last symbol is
    // kept.
    struct Encoded {
        std::string utf8;
        int32_t level = -1;
        int32_t width = 0;  // 0: no symbol
        std::vector<unsigned char> modules;
    };
    static Encoded last;
    if (last.level != level || last.utf8 != *utf8) {
        const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
            QRcode_encodeString(utf8->c_str(), 0, QRecLevel(level), QR_MODE_8, 1), &QRcode_free);
        last.utf8 = *utf8;
        last.level = level;
        last.width = code ? code->width : 0;
        last.modules.assign(code ? code->data : nullptr,
                            code ? code->data + std::size_t(code->width) * code->width : nullptr);
    }
    if (last.width == 0) {
        return model;
    }
    model.side = int64_t(ValidSide(last.width, margin, moduleSize));
    if (model.side == 0) {
        return model;
    }
    model.kind = Model::Kind::Picture;
    model.width = last.width;
    model.modules = last.modules;
    return model;
}

bool WithinBudget(const Model& model) {
    const auto fits = [&](int32_t width) {
        const uint64_t side = ValidSide(width, model.margin, model.moduleSize);
        return side == 0 || int64_t(4 * side * side) <= kPictureBudgetBytes;
    };
    switch (model.kind) {
        case Model::Kind::Nothing:
            return true;
        case Model::Kind::Picture:
            return fits(model.width);
        case Model::Kind::Unknown:
            for (int32_t version = 1; 17 + 4 * version <= model.width; ++version) {
                if (!fits(17 + 4 * version)) {
                    return false;
                }
            }
            return true;
    }
    return false;
}

void CheckPicture(const PixelSource& pixels, const Model& model, const Colours& colours) {
    FUZZ_REQUIRE(model.kind != Model::Kind::Nothing);
    const int64_t side = pixels.side;
    int32_t width = model.width;
    if (model.kind == Model::Kind::Picture) {
        FUZZ_REQUIRE(side == model.side);
    } else {
        // The side must be that of some version at this margin and moduleSize.
        FUZZ_REQUIRE(side % model.moduleSize == 0);
        const int64_t modules = side / model.moduleSize - 2 * int64_t(model.margin);
        FUZZ_REQUIRE(modules >= 21 && modules <= model.width && (modules - 17) % 4 == 0);
        width = int32_t(modules);
        FUZZ_REQUIRE(int64_t(ValidSide(width, model.margin, model.moduleSize)) == side);
    }

    const uint32_t foreground = Rgb(colours.foreground);
    const uint32_t background = Rgb(colours.background);
    const bool distinct = foreground != background;
    const int64_t quiet = int64_t(model.margin) * model.moduleSize;
    std::vector<unsigned char> dark(std::size_t(width) * width, 0);

    for (int64_t y = 0; y < side; ++y) {
        for (int64_t x = 0; x < side; ++x) {
            const uint32_t pixel = pixels.RedGreenBlue(x, y);
            FUZZ_REQUIRE(pixel == foreground || pixel == background);
            const bool inSymbol = x >= quiet && y >= quiet && x < side - quiet && y < side - quiet;
            if (!inSymbol) {
                FUZZ_REQUIRE(pixel == background);
                continue;
            }
            const int64_t column = (x - quiet) / model.moduleSize;
            const int64_t row = (y - quiet) / model.moduleSize;
            unsigned char& module = dark[std::size_t(row) * width + std::size_t(column)];
            const bool firstOfBlock =
                (x - quiet) % model.moduleSize == 0 && (y - quiet) % model.moduleSize == 0;
            if (firstOfBlock) {
                module = pixel == foreground;
            } else {
                // Every pixel of a module block is drawn alike.
                FUZZ_REQUIRE((pixel == foreground) == bool(module) || !distinct);
            }
        }
    }
    if (!distinct) {
        return;  // one colour everywhere: no module can be told apart
    }
    if (model.kind == Model::Kind::Picture) {
        for (std::size_t i = 0; i < dark.size(); ++i) {
            FUZZ_REQUIRE(bool(dark[i]) == bool(model.modules[i] & 1u));
        }
    } else {
        FUZZ_REQUIRE(FinderAt(dark, width, 0, 0));
        FUZZ_REQUIRE(FinderAt(dark, width, width - 7, 0));
        FUZZ_REQUIRE(FinderAt(dark, width, 0, width - 7));
    }
}

void CheckBgraPixels(const unsigned char* pixels, int64_t side, bool bottomUp, const Model& model,
                     const Colours& colours) {
    struct Source : PixelSource {
        const unsigned char* pixels;
        bool bottomUp;
        uint32_t RedGreenBlue(int64_t x, int64_t y) const override {
            const int64_t stored = bottomUp ? side - 1 - y : y;
            const unsigned char* pixel = pixels + (stored * side + x) * 4;
            FUZZ_REQUIRE(pixel[3] == 255);
            return uint32_t(pixel[2]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[0]) << 16;
        }
    } source;
    source.side = side;
    source.pixels = pixels;
    source.bottomUp = bottomUp;
    CheckPicture(source, model, colours);
}

void CheckBmpFile(std::string_view file, const Model& model, const Colours& colours) {
    FUZZ_REQUIRE(file.size() >= 54);
    FUZZ_REQUIRE(file.substr(0, 2) == "BM");
    const int64_t side = int32_t(ReadLe32(file, 18));
    FUZZ_REQUIRE(side > 0 && side <= 23170);
    const uint64_t imageBytes = 4 * uint64_t(side) * uint64_t(side);
    FUZZ_REQUIRE(file.size() == 54 + imageBytes);
    FUZZ_REQUIRE(ReadLe32(file, 2) == file.size());
    FUZZ_REQUIRE(ReadLe32(file, 6) == 0);  // both reserved words
    FUZZ_REQUIRE(ReadLe32(file, 10) == 54);
    FUZZ_REQUIRE(ReadLe32(file, 14) == 40);
    FUZZ_REQUIRE(int64_t(int32_t(ReadLe32(file, 22))) == side);  // positive: bottom row first
    FUZZ_REQUIRE(ReadLe16(file, 26) == 1);
    FUZZ_REQUIRE(ReadLe16(file, 28) == 32);
    FUZZ_REQUIRE(ReadLe32(file, 30) == 0);
    FUZZ_REQUIRE(ReadLe32(file, 34) == imageBytes);
    for (std::size_t field = 38; field < 54; field += 4) {
        FUZZ_REQUIRE(ReadLe32(file, field) == 0);  // resolutions, colours used and important
    }
    CheckBgraPixels(reinterpret_cast<const unsigned char*>(file.data()) + 54, side, true, model,
                    colours);
}

void CheckPngFile(std::string_view file, const Model& model, const Colours& colours) {
    static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    FUZZ_REQUIRE(file.size() >= 8 && std::memcmp(file.data(), kSignature, 8) == 0);

    // The chunk list: IHDR, PLTE, tRNS, one or more IDAT, IEND; nothing else.
    std::size_t at = 8;
    int64_t side = 0;
    int idatCount = 0;
    std::string sequence;
    while (at < file.size()) {
        FUZZ_REQUIRE(file.size() - at >= 12);
        const uint32_t length = ReadBe32(file, at);
        FUZZ_REQUIRE(length <= file.size() - at - 12);
        const std::string_view type = file.substr(at + 4, 4);
        const std::string_view data = file.substr(at + 8, length);
        const uint32_t crc = uint32_t(
            crc32(0, reinterpret_cast<const Bytef*>(file.data() + at + 4), uInt(length + 4)));
        FUZZ_REQUIRE(crc == ReadBe32(file, at + 8 + length));
        if (type == "IHDR") {
            FUZZ_REQUIRE(sequence.empty() && length == 13);
            side = ReadBe32(data, 0);
            FUZZ_REQUIRE(side > 0 && ReadBe32(data, 4) == side);
            FUZZ_REQUIRE(data[8] == 1 && data[9] == 3);                     // 1 bit, palette
            FUZZ_REQUIRE(data[10] == 0 && data[11] == 0 && data[12] == 0);  // no interlace
            sequence += 'H';
        } else if (type == "PLTE") {
            FUZZ_REQUIRE(sequence == "H" && length == 6);
            const auto rgb = [&](std::size_t i) {
                return uint32_t(uint8_t(data[i])) | uint32_t(uint8_t(data[i + 1])) << 8 |
                       uint32_t(uint8_t(data[i + 2])) << 16;
            };
            FUZZ_REQUIRE(rgb(0) == Rgb(colours.foreground));
            FUZZ_REQUIRE(rgb(3) == Rgb(colours.background));
            sequence += 'P';
        } else if (type == "tRNS") {
            FUZZ_REQUIRE(sequence == "HP" && length == 2);
            FUZZ_REQUIRE(uint8_t(data[0]) == 255 && uint8_t(data[1]) == 255);
            sequence += 'T';
        } else if (type == "IDAT") {
            FUZZ_REQUIRE(sequence == "HPT" || (sequence == "HPTD" && idatCount > 0));
            if (idatCount++ == 0) {
                sequence += 'D';
            }
        } else if (type == "IEND") {
            FUZZ_REQUIRE(sequence == "HPTD" && length == 0);
            sequence += 'E';
        } else {
            Fail("an unexpected PNG chunk", __FILE__, __LINE__);
        }
        at += 12 + std::size_t(length);
        if (sequence.back() == 'E') {
            break;
        }
    }
    FUZZ_REQUIRE(sequence == "HPTDE" && at == file.size());

    // The pixels, decoded by libpng.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    FUZZ_REQUIRE(png_image_begin_read_from_memory(&image, file.data(), file.size()) != 0);
    FUZZ_REQUIRE(int64_t(image.width) == side && int64_t(image.height) == side);
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    const bool decoded = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    FUZZ_REQUIRE(decoded);

    struct Source : PixelSource {
        const unsigned char* rgb;
        uint32_t RedGreenBlue(int64_t x, int64_t y) const override {
            const unsigned char* pixel = rgb + (y * side + x) * 3;
            return uint32_t(pixel[0]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[2]) << 16;
        }
    } source;
    source.side = side;
    source.rgb = rgb.data();
    CheckPicture(source, model, colours);
}

}  // namespace qrfuzz
