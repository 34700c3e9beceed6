// Fuzz target: text, arguments and colours from the input through the
// exports that return a picture in memory: GetHBitmapW/A (with GetObjectW,
// DeleteObject) and GetPNGW/A (with DestroyBuffer), the W pair or the A pair
// (Depth::wide). A picture must decode to its text (GetPNGA: the caller's
// bytes), a text's PNG block must show its bitmap, errno must be untouched,
// or the reason when nothing was made.
//
// Input: the text bytes first; from the end the arguments (see
// ConsumeCallArguments), then a GetObjectW size and a foreign handle value.
#include "fuzz_check.h"

using namespace qrfuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitialiseTarget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Depth depth(data, size);
    FuzzedDataProvider input(data, size);
    const CallArguments a = ConsumeCallArguments(input);
    const int32_t objectSize = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>()
                                                   : input.ConsumeIntegralInRange(-1, 80);
    const auto foreign = reinterpret_cast<HBITMAP>(input.ConsumeIntegral<uintptr_t>());
    const Texts t = ConsumeTexts(input, a);

    // Handles the library never made: nothing, EINVAL.
    errno = kUntouched;
    FUZZ_REQUIRE(GetObjectW(foreign, 0, nullptr) == 0 && errno == EINVAL);
    errno = kUntouched;
    FUZZ_REQUIRE(DeleteObject(foreign) == 0 && errno == EINVAL);
    DestroyBuffer(nullptr);

    // An export with a null text makes nothing (EINVAL); with its text, the
    // picture of `expected` (checked when `check`), or nothing with its reason.
    const auto run = [&](auto make, auto text, const std::string& expected, bool check) {
        errno = kUntouched;
        FUZZ_REQUIRE(make(decltype(text)(nullptr)).side == 0 && errno == EINVAL);
        if (!WorthCalling(a, expected.size())) {
            return Picture{};
        }
        errno = kUntouched;
        Picture picture = make(text);
        CheckErrno(picture.side != 0, errno, a, expected.size());
        if (check && picture.side != 0) {
            CheckPicture(RowsOf(picture), a, expected, depth);
        }
        return picture;
    };
    const int32_t m = a.margin, s = a.moduleSize, l = a.level;
    // Each keeps the errno of its export.
    const auto bitmapW = [&](const char16_t* text) {
        return TakeBitmap(GetHBitmapW(text, m, s, l), objectSize);
    };
    const auto bitmapA = [&](const char* text) {
        return TakeBitmap(GetHBitmapA(text, m, s, l), objectSize);
    };
    const auto pngW = [&](const char16_t* text) {
        return DecodePng(PngBlock(GetPNGW, text, a), depth);
    };
    const auto pngA = [&](const char* text) {
        return DecodePng(PngBlock(GetPNGA, text, a), depth);
    };
    // The PNG block first: cheap to make at any size, it tells how large the
    // picture is. The bitmap is made when the picture gets the expensive
    // checks, and must be the block's picture.
    const auto pair = [&](auto png, auto bitmap, auto text, const std::string& pngText,
                          const std::string& bitmapText) {
        const Picture block = run(png, text, pngText, true);
        if (block.side == 0 || depth.Full(block.side)) {
            const Picture drawn = run(bitmap, text, bitmapText, pngText != bitmapText);
            depth.compared |= pngText == bitmapText && drawn.side != 0;
            FUZZ_REQUIRE(pngText != bitmapText || drawn == block);
        }
    };
    if (depth.wide) {
        pair(pngW, bitmapW, t.wide.c_str(), t.wideUtf8, t.wideUtf8);
    } else {  // GetPNGA encodes the caller's bytes unchanged
        pair(pngA, bitmapA, t.bytes.c_str(), std::string(t.bytes.c_str()), t.narrowUtf8);
    }
    return 0;
}
