// Fuzz target: arbitrary text through every export that returns its picture
// in memory (GetHBitmapW/A with GetObjectW and DeleteObject, GetPNGW/A with
// DestroyBuffer), with level, margin, moduleSize and colours from the input.
// A picture must decode to its text (GetPNGA: the caller's bytes), the PNG
// block of a W text must show the bitmap's pixels, errno stays untouched,
// and nothing is refused without its reason in errno.
//
// Input: the text bytes first; from the end the arguments (see
// ConsumeCallArguments), then a GetObjectW size and a foreign handle value.
#include <cerrno>
#include <cstring>

#include "fuzz_check.h"

using namespace qrfuzz;

namespace {

// GetPNGW or GetPNGA (get(&size, &block)) with sentinel out-parameters: they
// stay untouched when nothing is made. Returns the block's bytes, if any, and
// the errno the call left in `error`.
template <class Get>
std::optional<std::string> TakePng(int& error, Get get) {
    unsigned char sentinel = 0, *block = &sentinel;
    uint32_t size = 0xC0FFEE11u;
    errno = kUntouched;
    get(&size, &block);
    error = errno;
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
    int error = 0;

    // Handles the library never made, and null texts: nothing, EINVAL.
    FUZZ_REQUIRE(Tracked(error, [&] { return GetObjectW(foreign, 0, nullptr); }) == 0 &&
                 error == EINVAL);
    FUZZ_REQUIRE(Tracked(error, [&] { return DeleteObject(foreign); }) == 0 && error == EINVAL);
    FUZZ_REQUIRE(Tracked(error, [&] { return GetHBitmapW(nullptr, m, s, l); }) == nullptr &&
                 error == EINVAL);
    FUZZ_REQUIRE(Tracked(error, [&] { return GetHBitmapA(nullptr, m, s, l); }) == nullptr &&
                 error == EINVAL);
    FUZZ_REQUIRE(!TakePng(error, [&](auto... out) { GetPNGW(nullptr, m, s, l, out...); }) &&
                 error == EINVAL);
    FUZZ_REQUIRE(!TakePng(error, [&](auto... out) { GetPNGA(nullptr, m, s, l, out...); }) &&
                 error == EINVAL);
    DestroyBuffer(nullptr);

    // UTF-16: its UTF-8 comes back; the PNG block shows the same pixels.
    const std::u16string wide = a.wideAsPairs ? UnitsOfPairs(bytes) : Widen(bytes, Utf8Locale());
    const std::string utf8 = Utf8Of(wide);
    if (WorthCalling(a, utf8.size())) {
        const HBITMAP handle = Tracked(error, [&] { return GetHBitmapW(wide.c_str(), m, s, l); });
        CheckErrno(handle != nullptr, error, Reasons(a, utf8.size()));
        const Picture bitmap = TakeBitmap(handle, objectSize);
        const auto png =
            TakePng(error, [&](auto... out) { GetPNGW(wide.c_str(), m, s, l, out...); });
        CheckErrno(png.has_value(), error, Reasons(a, utf8.size()));
        FUZZ_REQUIRE(png.has_value() == (handle != nullptr));
        if (png) {
            CheckPicture(bitmap, a, colours, utf8);
            FUZZ_REQUIRE(DecodePng(*png, colours) == bitmap);
        }
    }

    // Narrow text, widened in the thread's character set.
    bool exact = true;
    const std::string narrowUtf8 = Utf8Of(Widen(bytes, a.locale, &exact));
    const std::size_t narrowBytes = exact ? narrowUtf8.size() : 3 * std::strlen(bytes.c_str());
    if (WorthCalling(a, narrowBytes)) {
        const HBITMAP handle = Tracked(error, [&] { return GetHBitmapA(bytes.c_str(), m, s, l); });
        CheckErrno(handle != nullptr, error, Reasons(a, narrowBytes));
        if (handle != nullptr) {
            CheckPicture(TakeBitmap(handle, objectSize), a, colours,
                         exact ? std::optional(narrowUtf8) : std::nullopt);
        }
    }

    // GetPNGA: the caller's bytes, unchanged.
    const std::string raw = bytes.c_str();
    if (WorthCalling(a, raw.size())) {
        const auto png =
            TakePng(error, [&](auto... out) { GetPNGA(raw.c_str(), m, s, l, out...); });
        CheckErrno(png.has_value(), error, Reasons(a, raw.size()));
        if (png) {
            CheckPicture(DecodePng(*png, colours), a, colours, raw);
        }
    }
    return 0;
}
