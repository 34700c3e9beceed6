// Fuzz target: arbitrary text through every export that returns its picture
// in memory (GetHBitmapW/A with GetObjectW and DeleteObject, GetPNGW/A with
// DestroyBuffer), with level, margin, moduleSize and colours from the input.
// Every result is checked against the independent model of fuzz_model.h.
//
// Input: the text bytes first; the arguments are read from the end (see
// ConsumeCallArguments), then a GetObjectW size and a foreign handle value.
#include <fuzzer/FuzzedDataProvider.h>
#include <qrimage.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_calls.h"
#include "fuzz_model.h"
#include "fuzz_support.h"

using namespace qrfuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitialiseTarget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const CallArguments arguments = ConsumeCallArguments(input);
    const int32_t objectSize = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>()
                                                   : input.ConsumeIntegralInRange(-1, 80);
    const uintptr_t foreignHandle = input.ConsumeIntegral<uintptr_t>();
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const Colours colours = ApplyColours(arguments.colours);
    const CharsetScope charset(arguments.charset);
    const int32_t level = arguments.level;
    const int32_t margin = arguments.margin;
    const int32_t moduleSize = arguments.moduleSize;

    // A null text produces nothing anywhere.
    CheckBitmapHandle(GetHBitmapW(nullptr, margin, moduleSize, level), Model{}, colours, objectSize,
                      foreignHandle);
    CheckBitmapHandle(GetHBitmapA(nullptr, margin, moduleSize, level), Model{}, colours, objectSize,
                      foreignHandle);
    CheckPngBlock(
        [&](uint32_t* s, unsigned char** b) { GetPNGW(nullptr, margin, moduleSize, level, s, b); },
        Model{}, colours);
    CheckPngBlock(
        [&](uint32_t* s, unsigned char** b) { GetPNGA(nullptr, margin, moduleSize, level, s, b); },
        Model{}, colours);
    DestroyBuffer(nullptr);

    // UTF-16: embedded NULs end the text, unpaired surrogates become U+FFFD.
    const std::u16string wide = Utf16OfBytes(bytes, arguments.wideAsPairs);
    const Model wideModel = Predict(Utf8OfUtf16(wide), level, margin, moduleSize);
    TraceCall("W", arguments, wideModel);
    if (WithinBudget(wideModel)) {
        CheckBitmapHandle(GetHBitmapW(wide.c_str(), margin, moduleSize, level), wideModel, colours,
                          objectSize, foreignHandle);
        CheckPngBlock(
            [&](uint32_t* s, unsigned char** b) {
                GetPNGW(wide.c_str(), margin, moduleSize, level, s, b);
            },
            wideModel, colours);
    }

    // Narrow text in the thread's character set; GetPNGA takes its bytes as
    // they are.
    const Model narrowModel =
        Predict(Utf8OfNarrow(bytes, arguments.charset), level, margin, moduleSize,
                3 * std::strlen(bytes.c_str()));  // U+FFFD for a byte at most
    TraceCall("A", arguments, narrowModel);
    if (WithinBudget(narrowModel)) {
        CheckBitmapHandle(GetHBitmapA(bytes.c_str(), margin, moduleSize, level), narrowModel,
                          colours, objectSize, foreignHandle);
    }
    const Model bytesModel = Predict(std::string(bytes.c_str()), level, margin, moduleSize);
    TraceCall("GetPNGA", arguments, bytesModel);
    if (WithinBudget(bytesModel)) {
        CheckPngBlock(
            [&](uint32_t* s, unsigned char** b) {
                GetPNGA(bytes.c_str(), margin, moduleSize, level, s, b);
            },
            bytesModel, colours);
    }
    return 0;
}
