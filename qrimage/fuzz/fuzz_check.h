// What the fuzz targets share: arguments and texts read from an input, and the oracle every call
// meets: a picture made reads back as its text (zxing-cpp), or errno gives a documented reason.
// Reading back costs more than making: every small picture, a share of the larger ones (Depth).
#pragma once

#include <ZXing/ReadBarcode.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <png.h>
#include <qrimage.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The checks and picture readers add no coverage of their own to guide the fuzzer.
#pragma clang attribute push(__attribute__((no_sanitize("coverage"))), apply_to = function)
#include "../tests/pictures.h"

namespace qrfuzz {

using qrtest::FromBmp, qrtest::FromPng, qrtest::Picture;

// Ends the process with a message; libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\n*** invariant broken: %s (%s:%d), errno %d\n", what, file, line, errno);
    std::abort();
}

#define FUZZ_REQUIRE(condition) \
    ((condition) ? void(0) : ::qrfuzz::Fail(#condition, __FILE__, __LINE__))

inline constexpr int64_t kMaxPixelBytes = 0x7FFFFFFF;            // the library's limit
inline constexpr int64_t kBudgetPixelBytes = int64_t(16) << 20;  // pictures fuzzed
// Bytes a version 40 symbol holds at L, M, Q, H; with the encoder's segments, 3/4 surely fit.
inline constexpr std::size_t kSureFit[4] = {2953 * 3 / 4, 2331 * 3 / 4, 1663 * 3 / 4, 1273 * 3 / 4};
inline constexpr int kUntouched = 0x7E57;  // errno before every call: a picture made leaves it
// Pictures up to this size are all read back, a larger one on a share of the inputs that falls as
// it grows (one in 16 at 1 MiB): reading back costs an input no more than a picture this size.
inline constexpr int64_t kSmallPixelBytes = int64_t(64) << 10;  // 128 x 128 pixels

inline locale_t locales[3];  // C, C.UTF-8, CP1251, as scripts/setup-deps installs them

// AddressSanitizer's default 256 MiB quarantine gives every picture fresh pages, whose faults cost
// more than the library's work; 16 MiB still holds what the last few dozen calls freed.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}

// Once per fuzz process: the locales, a fixed umask (0022).
inline void InitialiseTarget() {
    for (int i = 0; const char* name : {"C", "C.UTF-8", "ru_RU.CP1251"}) {
        FUZZ_REQUIRE((locales[i++] = newlocale(LC_CTYPE_MASK, name, nullptr)) != nullptr);
    }
    umask(022);
}

// Which pictures of an input are read back, picked by a hash of its bytes so that a replay makes
// the same choice; `wide`: which of the W and A exports a target calls, where it calls one.
struct Depth {
    uint32_t draw = 0;
    bool wide = false;

    Depth(const uint8_t* data, std::size_t size) {
        uint64_t hash = 0xCBF29CE484222325u;  // FNV-1a
        for (std::size_t i = 0; i < size; ++i) {
            hash = (hash ^ data[i]) * 0x100000001B3u;
        }
        draw = uint32_t(hash >> 32);
        wide = (hash >> 31 & 1) != 0;
    }
    // Whether a picture `side` pixels wide (or of `bytes`) is read: odds kSmallPixelBytes / size.
    bool Full(int64_t side) const { return FullBytes(4 * side * side); }
    bool FullBytes(int64_t bytes) const {
        return (uint64_t(draw) * uint64_t(bytes)) >> 32 < uint64_t(kSmallPixelBytes);
    }
};

// The arguments every export shares, read from the end of the input. Each integer comes from a
// small range around the valid values or raw, so that both pictures and refusals get explored.
struct CallArguments {
    int32_t level, margin, moduleSize;
    locale_t locale;                  // the thread's LC_CTYPE for the call: C, C.UTF-8 or CP1251
    bool wideAsPairs;                 // W text as UTF-16LE pairs, else the bytes read as UTF-8
    COLORREF foreground, background;  // from the input, else the defaults (not an earlier input's)
};

// Reads the arguments, sets their colours and makes their locale the thread's.
inline CallArguments ConsumeCallArguments(FuzzedDataProvider& input) {
    // Mode bits: raw level, margin, moduleSize; UTF-16 pairs; set colours; 2 bits of character set.
    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    const auto next = [&](int bit, int32_t low, int32_t high) {
        return (mode >> bit & 1) ? input.ConsumeIntegral<int32_t>()
                                 : input.ConsumeIntegralInRange(low, high);
    };
    static const COLORREF defaults[] = {GetForegroundColor(), GetBackgroundColor()};  // before Set
    const bool own = (mode >> 4 & 1) != 0;
    CallArguments a{next(0, -1, 4),
                    next(1, -1, 10),
                    next(2, -1, 6),
                    locales[std::array{0, 1, 2, 1}[mode >> 5 & 3]],
                    (mode >> 3 & 1) != 0,
                    own ? input.ConsumeIntegral<uint32_t>() : defaults[0],
                    own ? input.ConsumeIntegral<uint32_t>() : defaults[1]};
    SetForegroundColor(a.foreground);
    SetBackgroundColor(a.background);
    uselocale(a.locale);
    return a;
}

// `in` converted by iconv; each unit (`unitBytes` long) it cannot convert becomes `replacement`.
// Between UTF-8, UTF-16 and single-byte sets no unit grows past twice its bytes.
inline std::string Iconv(std::string_view in, const char* from, const char* to,
                         std::string_view replacement, std::size_t unitBytes) {
    const iconv_t converter = iconv_open(to, from);
    FUZZ_REQUIRE(converter != iconv_t(-1));
    std::string out(2 * in.size(), '\0');
    char *next = const_cast<char*>(in.data()), *end = out.data();  // iconv's historic signature
    std::size_t left = in.size(), room = out.size();
    while (iconv(converter, &next, &left, &end, &room) == std::size_t(-1)) {
        FUZZ_REQUIRE(errno != E2BIG);
        const std::size_t skipped = std::min(unitBytes, left);
        end = std::ranges::copy(replacement, end).out;
        next += skipped;
        left -= skipped;
        room -= replacement.size();
    }
    iconv_close(converter);
    out.resize(std::size_t(end - out.data()));
    return out;
}

// The rest of the input as text, and iconv's UTF-8 of the W text (little-endian, as the hosts) and
// of the A text (up to its NUL) in the call's locale; what it cannot read is U+FFFD.
struct Texts {
    std::string bytes;
    std::u16string wide;
    std::string wideUtf8, narrowUtf8;
};

inline Texts ConsumeTexts(FuzzedDataProvider& input, const CallArguments& a) {
    Texts t{input.ConsumeRemainingBytesAsString(), {}, {}, {}};
    const auto pairs = [](const std::string& bytes) {  // an odd last byte is a unit
        std::u16string units((bytes.size() + 1) / 2, u'\0');
        std::memcpy(units.data(), bytes.data(), bytes.size());
        return units;
    };
    const auto widen = [&](const char* set) {  // up to the NUL
        return pairs(Iconv(t.bytes.c_str(), set, "UTF-16LE", "\xFD\xFF", 1));
    };
    const auto utf8 = [](const std::u16string& units) {  // up to the 0
        const std::u16string_view text(units.c_str());
        return Iconv({reinterpret_cast<const char*>(text.data()), 2 * text.size()}, "UTF-16LE",
                     "UTF-8", "\xEF\xBF\xBD", 2);
    };
    t.wide = a.wideAsPairs ? pairs(t.bytes) : widen("UTF-8");
    t.wideUtf8 = utf8(t.wide);
    t.narrowUtf8 = utf8(widen(nl_langinfo_l(CODESET, a.locale)));
    return t;
}

inline bool ValidArguments(const CallArguments& a) {
    return a.level >= 0 && a.level <= 3 && a.margin >= 0 && a.moduleSize >= 1;
}

// 4 * side^2 for valid arguments and a symbol `width` wide; past side 23170, kMaxPixelBytes + 1.
inline int64_t PixelBytes(int64_t width, const CallArguments& a) {
    const int64_t modules = width + 2 * int64_t(a.margin);
    return modules > 23170 / a.moduleSize ? kMaxPixelBytes + 1
                                          : 4 * (modules * a.moduleSize) * (modules * a.moduleSize);
}

// Whether a call is worth making: every refusal is, a picture above a few MiB finds nothing more.
inline bool WorthCalling(const CallArguments& a, std::size_t textBytes,
                         int64_t budget = kBudgetPixelBytes) {
    return !ValidArguments(a) || textBytes == 0 || PixelBytes(21, a) > kMaxPixelBytes ||
           PixelBytes(177, a) <= budget;
}

// Checks errno after a call: untouched when it made its picture, else a reason that holds, from the
// arguments or `more`. A call with no reason must succeed.
inline void CheckErrno(bool produced, int error, const CallArguments& a, std::size_t textBytes,
                       std::initializer_list<std::pair<bool, int>> more = {}) {
    std::vector<std::pair<bool, int>> reasons = {
        {!ValidArguments(a) || textBytes == 0, EINVAL},
        {textBytes > kSureFit[a.level & 3], ERANGE},
        {ValidArguments(a) && PixelBytes(177, a) > kMaxPixelBytes, EFBIG}};
    reasons.insert(reasons.end(), more);
    const bool documented =
        produced ? error == kUntouched : std::ranges::count(reasons, std::pair(true, error)) > 0;
    errno = error;  // for the message
    FUZZ_REQUIRE(documented);
}

// The library linked into the target, as pictures.h reads pictures through it.
struct LinkedExports {
    decltype(&::GetObjectW) GetObjectW = ::GetObjectW;
    decltype(&::DeleteObject) DeleteObject = ::DeleteObject;
    decltype(&::DestroyBuffer) DestroyBuffer = ::DestroyBuffer;
};
inline constexpr LinkedExports linked;

// The handle's picture, released, after GetObjectW(`objectSize`) answered; errno kept.
inline Picture TakeBitmap(HBITMAP handle, int32_t objectSize) {
    const int error = errno;
    DIBSECTION d{};
    const int32_t record = handle == nullptr ? 0 : GetObjectW(handle, objectSize, &d);
    FUZZ_REQUIRE(record == 0 || record == int32_t(sizeof(BITMAP)) || record == int32_t(sizeof d));
    Picture picture = qrtest::FromBitmap(linked, handle);
    FUZZ_REQUIRE(handle == nullptr || picture.side > 0);
    errno = error;
    return picture;
}

// The block of a GetPNGW or GetPNGA call (`get`, the text's); "" for none.
template <class Get, class Text>
std::string PngBlock(Get get, Text text, const CallArguments& a) {
    return qrtest::PngBlock(
        linked, [&](auto... out) { get(text, a.margin, a.moduleSize, a.level, out...); });
}

// A made PNG or BMP (`read(pixels)`): must read; measured, pixels where `depth` picks; errno kept.
template <class Read>
Picture ReadBack(Read read, const Depth& depth) {
    const int error = errno;
    Picture picture = read(false);
    if (depth.Full(picture.side)) {
        picture = read(true);
    }
    FUZZ_REQUIRE(picture.side > 0);
    errno = error;
    return picture;
}

// A side of whole modules, a symbol 21 to 177 wide and its quiet zone; where `depth` picked the
// pixels, each module's top left one is in one of the colours and zxing-cpp reads `text`, upright.
inline void CheckPicture(const Picture& picture, const CallArguments& a, const std::string& text,
                         const Depth& depth) {
    const int64_t side = picture.side, size = a.moduleSize, quiet = int64_t(a.margin) * size;
    FUZZ_REQUIRE(size >= 1 && side > 0 && side % size == 0);
    const int64_t width = side / size - 2 * int64_t(a.margin);
    FUZZ_REQUIRE(width >= 21 && width <= 177 && (width - 17) % 4 == 0);
    if (picture.bgra.empty() || !depth.Full(side) ||
        ((a.foreground ^ a.background) & 0xFFFFFFu) == 0) {
        return;
    }
    const auto pixel = [](uint32_t c) {
        return std::string{char(c >> 16), char(c >> 8), char(c), '\xFF'};
    };
    const std::string foreground = pixel(a.foreground), background = pixel(a.background);
    std::vector<uint8_t> modules(std::size_t(width * width));  // 0 for dark
    for (int64_t y = 0; y < width; ++y) {
        for (int64_t x = 0; x < width; ++x) {
            const char* corner =
                &picture.bgra[std::size_t(4 * ((quiet + y * size) * side + quiet + x * size))];
            const bool dark = std::memcmp(corner, foreground.data(), 4) == 0;
            FUZZ_REQUIRE(dark || std::memcmp(corner, background.data(), 4) == 0);
            modules[std::size_t(y * width + x)] = dark ? 0 : 255;
        }
    }
    const ZXing::Result result = ZXing::ReadBarcode(
        ZXing::ImageView(modules.data(), int(width), int(width), ZXing::ImageFormat::Lum),
        ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setIsPure(true));
    FUZZ_REQUIRE(result.isValid() && !result.isMirrored() && result.orientation() == 0);
    FUZZ_REQUIRE(std::string(result.bytes().begin(), result.bytes().end()) == text);
}

}  // namespace qrfuzz
#pragma clang attribute pop
