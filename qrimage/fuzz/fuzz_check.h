// What the fuzz targets share: arguments read from a fuzz input, and checks
// of the library's pictures that need no second model of the picture. A
// picture's geometry must follow from its side, margin and moduleSize; it is
// drawn in exactly the two colours in force; and the zxing-cpp decoder must
// read the text back from its modules.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <locale.h>
#include <qrimage.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrfuzz {

// Ends the process with a message; libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const char* what, const char* file, int line);

#define FUZZ_REQUIRE(condition) \
    ((condition) ? void(0) : ::qrfuzz::Fail(#condition, __FILE__, __LINE__))

// Once per fuzz process: the locales and a fixed umask (0022).
void InitialiseTarget();
// A private folder (under $TMPDIR, else /tmp), made on first use and removed
// with its content when the process exits.
const std::string& ScratchFolder();

struct Colours {
    uint32_t foreground, background;
};

// The arguments every export shares, read from the end of the input (the
// text is what remains at its start). Each integer comes either from a small
// range around the valid values or as a raw 32-bit value, so that both the
// pictures and the refusals get explored.
struct CallArguments {
    int32_t level, margin, moduleSize;
    locale_t locale;   // LC_CTYPE of the A functions: C, C.UTF-8 or CP1251
    bool wideAsPairs;  // W text as UTF-16LE pairs, else decoded as UTF-8
    std::optional<Colours> colours;
};
CallArguments ConsumeCallArguments(FuzzedDataProvider& input);

// Makes `locale` the calling thread's LC_CTYPE for its lifetime.
class LocaleScope {
  public:
    explicit LocaleScope(locale_t locale) : previous_(uselocale(locale)) {}
    ~LocaleScope() { uselocale(previous_); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

  private:
    locale_t previous_;
};

// UTF-16 of bytes up to the first NUL, read in `locale` with mbrtowc (a
// byte it cannot read is U+FFFD). `exact` becomes false when the library's
// iconv may read it otherwise (a malformed multibyte sequence).
std::u16string Widen(std::string_view bytes, locale_t locale, bool* exact = nullptr);
locale_t Utf8Locale();
// UTF-16 units as little-endian byte pairs (an odd last byte is a unit).
std::u16string UnitsOfPairs(std::string_view bytes);
// UTF-8 of UTF-16 up to the first 0 unit; an unpaired surrogate is U+FFFD.
std::string Utf8Of(std::u16string_view units);

// Sets the colours when the input asks for it, checks they read back whole,
// and returns the colours in force.
Colours ApplyColours(const std::optional<Colours>& colours);

// Whether a call with these arguments may be made while fuzzing: every
// refusal is, but a picture above a few MiB costs time and finds nothing a
// smaller one misses. `textBytes` bounds the text's UTF-8 length.
bool WorthCalling(const CallArguments& arguments, std::size_t textBytes);

// errno before every call: a call that makes its picture leaves it so.
inline constexpr int kUntouched = 0x7E57;

// Runs `call` with errno at kUntouched; `error` gets the errno it left.
template <class Call>
auto Tracked(int& error, Call call) {
    errno = kUntouched;
    const auto result = call();
    error = errno;
    return result;
}

// The reasons (errno values) a call may give for making nothing with these
// arguments and a text of at most `textBytes` UTF-8 bytes: EINVAL for invalid
// arguments or an empty text, ERANGE when the text may not fit, EFBIG when
// the picture may be too large. None: the call must make its picture.
std::vector<int> Reasons(const CallArguments& arguments, std::size_t textBytes);

// Checks errno after a call: untouched when it produced its picture, else
// one of `reasons`.
void CheckErrno(bool produced, int error, const std::vector<int>& reasons);

// A picture as 4-byte pixels (blue, green, red, fourth byte) top row first.
struct Picture {
    int64_t side = 0;  // 0: nothing produced
    std::string bgra;
    bool operator==(const Picture&) const = default;
};

// The handle's pixels after checking its GetObjectW descriptions (also with
// `objectSize` from the input) and that DeleteObject releases it exactly once.
Picture TakeBitmap(HBITMAP handle, int32_t objectSize);
// A PNG file or block decoded by libpng, after checking its header chunks.
Picture DecodePng(std::string_view png, const Colours& colours);
// A BMP file's pixels, after checking its headers.
Picture DecodeBmp(std::string_view bmp);

// Checks a produced picture: geometry, colours, quiet zone, whole module
// blocks, and that the decoder reads `text` back (nullopt: any text).
void CheckPicture(const Picture& picture, const CallArguments& arguments, const Colours& colours,
                  const std::optional<std::string>& text);

}  // namespace qrfuzz
