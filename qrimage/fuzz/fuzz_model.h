// What a call of the library must produce, worked out independently of the
// library: the fuzz targets compare every result against this model.
#pragma once

#include <locale.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrfuzz {

// Ends the process with a message; libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const char* what, const char* file, int line);

// Text that Fail prints with its message, describing the call under check.
void SetFailureContext(std::string context);

#define FUZZ_REQUIRE(condition) \
    ((condition) ? void(0) : ::qrfuzz::Fail(#condition, __FILE__, __LINE__))

// Pictures above this many bytes of 32-bit pixel memory are valid but are not
// drawn while fuzzing: they cost time and find nothing a smaller one misses.
inline constexpr int64_t kPictureBudgetBytes = int64_t(256) << 10;

// The character sets the narrow (A) functions are fuzzed under, each selected
// for the fuzzing thread with uselocale.
enum class Charset { Ascii, Utf8, Cp1251 };

// Creates the locales once; a missing one falls back to Ascii.
void InitialiseCharsets();

// Makes `charset` the calling thread's locale for its lifetime.
class CharsetScope {
  public:
    explicit CharsetScope(Charset charset);
    ~CharsetScope();
    CharsetScope(const CharsetScope&) = delete;
    CharsetScope& operator=(const CharsetScope&) = delete;

  private:
    locale_t previous_;
};

// The charset actually in force for `wanted` (Ascii if its locale is missing).
Charset EffectiveCharset(Charset wanted);

// UTF-8 of UTF-16 units up to the first 0 unit; an unpaired surrogate becomes
// U+FFFD.
std::string Utf8OfUtf16(std::u16string_view units);

// UTF-16 units from fuzz bytes: as little-endian pairs (an odd last byte is a
// unit of its own), or decoded as UTF-8 with each undecodable byte b turned
// into the unpaired surrogate 0xDC00 + b.
std::u16string Utf16OfBytes(std::string_view bytes, bool asPairs);

// UTF-8 of a narrow string (up to its first NUL) as the library must read it
// under `charset`: every byte the set does not map stands for U+FFFD. Returns
// nullopt when the result is not predictable here: malformed UTF-8 under a
// UTF-8 locale, where how many U+FFFD a broken sequence gives is iconv's call.
std::optional<std::string> Utf8OfNarrow(std::string_view bytes, Charset charset);

// The outcome a call must have.
struct Model {
    enum class Kind { Nothing, Picture, Unknown };
    Kind kind = Kind::Nothing;
    int32_t margin = 0;
    int32_t moduleSize = 0;
    // For Picture: the symbol as libqrencode makes it, and the picture's
    // side. For Unknown: `width` is the widest symbol the call can make.
    int32_t width = 0;
    std::vector<unsigned char> modules;
    int64_t side = 0;
};

// The model for encoding `utf8` at these arguments, with the same encoder
// call the library makes. When the UTF-8 is not predictable (nullopt), the
// model is Unknown and `lengthBound` bounds its length in bytes.
Model Predict(const std::optional<std::string>& utf8, int32_t level, int32_t margin,
              int32_t moduleSize, std::size_t lengthBound = 0);

// False when the call would make a valid picture above kPictureBudgetBytes,
// which the targets then skip.
bool WithinBudget(const Model& model);

// The colour words in force for a call.
struct Colours {
    uint32_t foreground;
    uint32_t background;
};

// Reads pixel colours of a produced picture: for (x, y) from the top-left
// corner, the pixel's red, green and blue.
struct PixelSource {
    int64_t side;
    virtual ~PixelSource() = default;
    virtual uint32_t RedGreenBlue(int64_t x, int64_t y) const = 0;  // 0x00BBGGRR
};

// Checks a produced picture of `side` pixels against the model: its size, the
// quiet zone, every module block drawn whole in the foreground or background
// colour, and (for a known symbol) every module equal to the model's. For an
// Unknown model the side must belong to some symbol version and the finder
// patterns must be in place.
void CheckPicture(const PixelSource& pixels, const Model& model, const Colours& colours);

// Checks a 32-bit bitmap's pixel memory: rows of 4 * side bytes, top row
// first (bottomUp: bottom row first), pixels blue, green, red, 255.
void CheckBgraPixels(const unsigned char* pixels, int64_t side, bool bottomUp, const Model& model,
                     const Colours& colours);

// Checks a whole BMP file: headers and pixels.
void CheckBmpFile(std::string_view file, const Model& model, const Colours& colours);

// Checks a whole PNG: signature, exactly IHDR, PLTE, tRNS, IDAT..., IEND with
// valid CRCs and the expected fields, and its decoded pixels.
void CheckPngFile(std::string_view file, const Model& model, const Colours& colours);

}  // namespace qrfuzz
