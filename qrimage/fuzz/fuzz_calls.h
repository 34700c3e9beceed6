// Arguments read from a fuzz input, and checked calls of the library's
// exports, shared by the fuzz targets.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <qrimage.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "fuzz_model.h"

namespace qrfuzz {

// The arguments every export shares, taken from the end of the input (the
// text is what remains at its start). Each integer comes either from a small
// range around the valid values or as a raw 32-bit value, so that both the
// pictures and the refusals get explored.
struct CallArguments {
    int32_t level;
    int32_t margin;
    int32_t moduleSize;
    Charset charset;   // for the A functions
    bool wideAsPairs;  // W text as UTF-16LE pairs, else decoded from UTF-8
    std::optional<Colours> colours;
};

CallArguments ConsumeCallArguments(FuzzedDataProvider& input);

// With QRIMAGE_FUZZ_TRACE set in the environment, prints the arguments and
// what the model expects, to read what a crash input does.
void TraceCall(const char* what, const CallArguments& arguments, const Model& model);

// Sets the colours when the input asks for it, checks that they read back
// with all four bytes, and returns the colours in force.
Colours ApplyColours(const std::optional<Colours>& colours);

// Checks a handle from GetHBitmapW/A against the model, then its
// description by GetObjectW (also with `objectSize`, a size from the input),
// and its release: DeleteObject succeeds once, and the handle is unknown
// afterwards. `foreignHandle` is a value the library never made.
void CheckBitmapHandle(HBITMAP handle, const Model& model, const Colours& colours,
                       int32_t objectSize, uintptr_t foreignHandle);

// Calls `getPng` (GetPNGW or GetPNGA with everything bound but the two
// out-parameters) with sentinel out-parameters: untouched when nothing is
// produced, otherwise a checked PNG, which is then given back.
void CheckPngBlock(const std::function<void(uint32_t*, unsigned char**)>& getPng,
                   const Model& model, const Colours& colours);

}  // namespace qrfuzz
