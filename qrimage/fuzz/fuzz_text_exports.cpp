// Fuzz target: text, arguments and colours from the input through the exports that return a picture
// in memory: GetHBitmapW/A (with GetObjectW, DeleteObject) and GetPNGW/A (with DestroyBuffer), the
// W pair or the A pair (Depth::wide). A picture must read back as its text (GetPNGA: the caller's
// bytes) with errno untouched, or nothing is made, with its reason.
// Input: the text bytes; from the end the arguments, a GetObjectW size, a foreign handle value.
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

    const int32_t m = a.margin, s = a.moduleSize, l = a.level;
    // Each export's picture; each keeps the errno of its export.
    const auto bitmapW = [&](const char16_t* text) {
        return TakeBitmap(GetHBitmapW(text, m, s, l), objectSize);
    };
    const auto bitmapA = [&](const char* text) {
        return TakeBitmap(GetHBitmapA(text, m, s, l), objectSize);
    };
    const auto png = [&](auto get) {
        return [&, get](auto text) {
            const std::string block = PngBlock(get, text, a);
            return block.empty()
                       ? Picture{}
                       : ReadBack([&](bool pixels) { return FromPng(block, pixels); }, depth);
        };
    };
    // A null text makes nothing (EINVAL); the text, a picture reading as `expected` or a reason.
    const auto run = [&](auto make, auto text, const std::string& expected) {
        errno = kUntouched;
        FUZZ_REQUIRE(make(decltype(text)(nullptr)).side == 0 && errno == EINVAL);
        if (!WorthCalling(a, expected.size())) {
            return Picture{};
        }
        errno = kUntouched;
        const Picture picture = make(text);
        CheckErrno(picture.side != 0, errno, a, expected.size());
        if (picture.side != 0) {
            CheckPicture(picture, a, expected, depth);
        }
        return picture;
    };
    // The cheap PNG block tells the size; the bitmap follows where the block is read, or failed.
    if (depth.wide) {
        const Picture block = run(png(GetPNGW), t.wide.c_str(), t.wideUtf8);
        if (block.side == 0 || depth.Full(block.side)) {
            run(bitmapW, t.wide.c_str(), t.wideUtf8);
        }
    } else {  // GetPNGA encodes the caller's bytes unchanged
        const Picture block = run(png(GetPNGA), t.bytes.c_str(), std::string(t.bytes.c_str()));
        if (block.side == 0 || depth.Full(block.side)) {
            run(bitmapA, t.bytes.c_str(), t.narrowUtf8);
        }
    }
    return 0;
}
