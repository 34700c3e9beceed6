// Fuzz target: arbitrary text through every export that returns its picture
// in memory (GetHBitmapW/A with GetObjectW and DeleteObject, GetPNGW/A with
// DestroyBuffer), with level, margin, moduleSize and colours from the input.
// A picture must decode to its text (GetPNGA: the caller's bytes), the PNG
// block of a W text must show the bitmap's pixels, and nothing may be
// refused without a reason.
//
// Input: the text bytes first; from the end the arguments (see
// ConsumeCallArguments), then a GetObjectW size and a foreign handle value.
#include <cstring>

#include "fuzz_check.h"

using namespace qrfuzz;

namespace {

// GetPNGW or GetPNGA (get(&size, &block)) with sentinel out-parameters: they
// stay untouched when nothing is made. Returns the block's bytes, if any.
template <class Get>
std::optional<std::string> TakePng(Get get) {
    unsigned char sentinel = 0, *block = &sentinel;
    uint32_t size = 0xC0FFEE11u;
    get(&size, &block);
    if (block == &sentinel) {
        FUZZ_REQUIRE(size == 0xC0FFEE11u);
        return std::nullopt;
    }
    FUZZ_REQUIRE(block != nullptr);
    std::string bytes(reinterpret_cast<char*>(block), size);
    DestroyBuffer(block);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitialiseTarget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const CallArguments a = ConsumeCallArguments(input);
    const int32_t objectSize = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>()
                                                   : input.ConsumeIntegralInRange(-1, 80);
    const auto foreign = reinterpret_cast<HBITMAP>(input.ConsumeIntegral<uintptr_t>());
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const Colours colours = ApplyColours(a.colours);
    const LocaleScope locale(a.locale);
    const int32_t m = a.margin, s = a.moduleSize, l = a.level;

    // Handles the library never made, and null texts: nothing.
    FUZZ_REQUIRE(GetObjectW(foreign, 0, nullptr) == 0 && DeleteObject(foreign) == 0);
    FUZZ_REQUIRE(GetHBitmapW(nullptr, m, s, l) == nullptr &&
                 GetHBitmapA(nullptr, m, s, l) == nullptr);
    FUZZ_REQUIRE(!TakePng([&](auto... out) { GetPNGW(nullptr, m, s, l, out...); }));
    FUZZ_REQUIRE(!TakePng([&](auto... out) { GetPNGA(nullptr, m, s, l, out...); }));
    DestroyBuffer(nullptr);

    // UTF-16: its UTF-8 comes back; the PNG block shows the same pixels.
    const std::u16string wide = a.wideAsPairs ? UnitsOfPairs(bytes) : Widen(bytes, Utf8Locale());
    const std::string utf8 = Utf8Of(wide);
    if (WorthCalling(a, utf8.size())) {
        const Picture bitmap = TakeBitmap(GetHBitmapW(wide.c_str(), m, s, l), objectSize);
        const auto png = TakePng([&](auto... out) { GetPNGW(wide.c_str(), m, s, l, out...); });
        FUZZ_REQUIRE(png.has_value() == (bitmap.side > 0));
        if (png) {
            CheckPicture(bitmap, a, colours, utf8);
            FUZZ_REQUIRE(DecodePng(*png, colours) == bitmap);
        } else {
            CheckRefusal(a, utf8.size());
        }
    }

    // Narrow text, widened in the thread's character set.
    bool exact = true;
    const std::string narrowUtf8 = Utf8Of(Widen(bytes, a.locale, &exact));
    const std::size_t narrowBytes = exact ? narrowUtf8.size() : 3 * std::strlen(bytes.c_str());
    if (WorthCalling(a, narrowBytes)) {
        const Picture bitmap = TakeBitmap(GetHBitmapA(bytes.c_str(), m, s, l), objectSize);
        if (bitmap.side > 0) {
            CheckPicture(bitmap, a, colours, exact ? std::optional(narrowUtf8) : std::nullopt);
        } else {
            CheckRefusal(a, narrowBytes);
        }
    }

    // GetPNGA: the caller's bytes, unchanged.
    const std::string raw = bytes.c_str();
    if (WorthCalling(a, raw.size())) {
        const auto png = TakePng([&](auto... out) { GetPNGA(raw.c_str(), m, s, l, out...); });
        if (png) {
            CheckPicture(DecodePng(*png, colours), a, colours, raw);
        } else {
            CheckRefusal(a, raw.size());
        }
    }
    return 0;
}
