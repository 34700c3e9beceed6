// Every export of the library, on one page: each checks nothing itself and
// makes one call into the core (export_calls.h) under CallGuarded, which
// keeps exceptions in and the caller's error code as it was unless the call
// failed. The W and A twins differ only in how their arguments arrive, which
// WithWide and WithAnsi settle in one place.
#include <qrimage.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "calls/call_guard.h"
#include "calls/export_calls.h"
#include "colours/colours.h"
#include "encode/text_conversion.h"
#include "failure.h"
#include "platform/bitmap_section.h"
#include "platform/file_name.h"

namespace qrimage {
namespace {

// A W export's file name and text: the name converted (nothing is made for
// one that has no form on this platform), the text as it is.
template <class Body>
void WithWide(const qrimage_char16* fileName, const qrimage_char16* text, Body&& body) {
    if (const std::optional<NativeFileName> name = FileNameFromWide(AsUtf16(fileName))) {
        body(*name, AsUtf16(text));
    }
}

// An A export's file name and text: the name as given, the text widened
// from the caller's narrow character set.
template <class Body>
void WithAnsi(const char* fileName, const char* text, Body&& body) {
    const std::optional<NativeFileName> name = FileNameFromNarrow(fileName);
    const std::optional<std::u16string> wide = WidenAnsiText(text, kLongestText);
    if (name && wide) {
        body(*name, wide->c_str());
    }
}

// An A export's text alone, widened; `onFailure` when it cannot be.
template <class Result, class Body>
Result WithAnsiText(const char* text, Result onFailure, Body&& body) {
    const std::optional<std::u16string> wide = WidenAnsiText(text, kLongestText);
    return wide ? body(wide->c_str()) : onFailure;
}

bool OutParametersMissing(const void* size, const void* block) {
    if (size == nullptr || block == nullptr) {
        RecordFailure(Failure::InvalidArgument);
        return true;
    }
    return false;
}

}  // namespace
}  // namespace qrimage

using namespace qrimage;

extern "C" {

// ---- The classic family ----

QRIMAGE_API void QRIMAGE_CALL GenerateBMPW(const qrimage_char16* fileName,
                                           const qrimage_char16* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    CallGuarded([&] {
        WithWide(fileName, text, [&](const NativeFileName& name, const char16_t* wide) {
            GenerateFile(name, wide, margin, moduleSize, level, PictureFormat::Bmp);
        });
    });
}

QRIMAGE_API void QRIMAGE_CALL GenerateBMPA(const char* fileName, const char* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    CallGuarded([&] {
        WithAnsi(fileName, text, [&](const NativeFileName& name, const char16_t* wide) {
            GenerateFile(name, wide, margin, moduleSize, level, PictureFormat::Bmp);
        });
    });
}

QRIMAGE_API void QRIMAGE_CALL GeneratePNGW(const qrimage_char16* fileName,
                                           const qrimage_char16* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    CallGuarded([&] {
        WithWide(fileName, text, [&](const NativeFileName& name, const char16_t* wide) {
            GenerateFile(name, wide, margin, moduleSize, level, PictureFormat::Png);
        });
    });
}

QRIMAGE_API void QRIMAGE_CALL GeneratePNGA(const char* fileName, const char* text, int32_t margin,
                                           int32_t moduleSize, int32_t level) {
    CallGuarded([&] {
        WithAnsi(fileName, text, [&](const NativeFileName& name, const char16_t* wide) {
            GenerateFile(name, wide, margin, moduleSize, level, PictureFormat::Png);
        });
    });
}

QRIMAGE_API void QRIMAGE_CALL GetPNGW(const qrimage_char16* text, int32_t margin,
                                      int32_t moduleSize, int32_t level, uint32_t* pngSize,
                                      unsigned char** pngBuffer) {
    CallGuarded([&] {
        if (!OutParametersMissing(pngSize, pngBuffer)) {
            GetPngBlock(EncodeTextW(AsUtf16(text), level), margin, moduleSize, pngSize, pngBuffer);
        }
    });
}

QRIMAGE_API void QRIMAGE_CALL GetPNGA(const char* text, int32_t margin, int32_t moduleSize,
                                      int32_t level, uint32_t* pngSize, unsigned char** pngBuffer) {
    CallGuarded([&] {
        // The caller's bytes go to the encoder unchanged.
        if (!OutParametersMissing(pngSize, pngBuffer)) {
            GetPngBlock(EncodeBytes(text, level), margin, moduleSize, pngSize, pngBuffer);
        }
    });
}

QRIMAGE_API void QRIMAGE_CALL DestroyBuffer(unsigned char* buffer) {
    std::free(buffer);
}

QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapW(const qrimage_char16* text, int32_t margin,
                                             int32_t moduleSize, int32_t level) {
    return CallGuarded<HBITMAP>(
        nullptr, [&] { return MakeBitmapHandle(AsUtf16(text), margin, moduleSize, level); });
}

QRIMAGE_API HBITMAP QRIMAGE_CALL GetHBitmapA(const char* text, int32_t margin, int32_t moduleSize,
                                             int32_t level) {
    return CallGuarded<HBITMAP>(nullptr, [&] {
        return WithAnsiText(text, HBITMAP(nullptr), [&](const char16_t* wide) {
            return MakeBitmapHandle(wide, margin, moduleSize, level);
        });
    });
}

#if !defined(_WIN32)
QRIMAGE_API int32_t QRIMAGE_CALL DeleteObject(HBITMAP bitmap) {
    return CallGuarded<int32_t>(0, [&] { return DeleteBitmap(bitmap); });
}

QRIMAGE_API int32_t QRIMAGE_CALL GetObjectW(HBITMAP bitmap, int32_t size, void* out) {
    return CallGuarded<int32_t>(0, [&] { return GetBitmapObject(bitmap, size, out); });
}
#endif

// None of the four colour functions can fail, and none touches errno.
QRIMAGE_API void QRIMAGE_CALL SetForegroundColor(COLORREF colour) {
    StoreForeground(colour);
}

QRIMAGE_API COLORREF QRIMAGE_CALL GetForegroundColor(void) {
    return LoadForeground();
}

QRIMAGE_API void QRIMAGE_CALL SetBackgroundColor(COLORREF colour) {
    StoreBackground(colour);
}

QRIMAGE_API COLORREF QRIMAGE_CALL GetBackgroundColor(void) {
    return LoadBackground();
}

// ---- The per-picture family ----

QRIMAGE_API QrImageSymbol* QRIMAGE_CALL QrImageEncodeW(const qrimage_char16* text,
                                                       const QrImageOptions* options) {
    return CallGuarded<QrImageSymbol*>(nullptr,
                                       [&] { return EncodeSymbol(AsUtf16(text), options); });
}

QRIMAGE_API QrImageSymbol* QRIMAGE_CALL QrImageEncodeA(const char* text,
                                                       const QrImageOptions* options) {
    return CallGuarded<QrImageSymbol*>(nullptr, [&] {
        return WithAnsiText(text, static_cast<QrImageSymbol*>(nullptr),
                            [&](const char16_t* wide) { return EncodeSymbol(wide, options); });
    });
}

QRIMAGE_API int32_t QRIMAGE_CALL QrImageSymbolWidth(const QrImageSymbol* symbol) {
    return CallGuarded<int32_t>(0, [&] {
        if (symbol == nullptr) {
            RecordFailure(Failure::InvalidArgument);
            return 0;
        }
        return symbol->width;
    });
}

QRIMAGE_API const unsigned char* QRIMAGE_CALL QrImageSymbolModules(const QrImageSymbol* symbol) {
    return CallGuarded<const unsigned char*>(nullptr, [&]() -> const unsigned char* {
        if (symbol == nullptr) {
            RecordFailure(Failure::InvalidArgument);
            return nullptr;
        }
        return symbol->modules.data();
    });
}

QRIMAGE_API void QRIMAGE_CALL QrImageFreeSymbol(QrImageSymbol* symbol) {
    const std::unique_ptr<QrImageSymbol> released(symbol);
}

QRIMAGE_API void QRIMAGE_CALL QrImageWriteFileW(const qrimage_char16* fileName,
                                                const qrimage_char16* text,
                                                const QrImageOptions* options, int32_t format) {
    CallGuarded([&] {
        WithWide(fileName, text, [&](const NativeFileName& name, const char16_t* wide) {
            WriteFileWithOptions(name, wide, options, format);
        });
    });
}

QRIMAGE_API void QRIMAGE_CALL QrImageWriteFileA(const char* fileName, const char* text,
                                                const QrImageOptions* options, int32_t format) {
    CallGuarded([&] {
        WithAnsi(fileName, text, [&](const NativeFileName& name, const char16_t* wide) {
            WriteFileWithOptions(name, wide, options, format);
        });
    });
}

QRIMAGE_API void QRIMAGE_CALL QrImageGetBlockW(const qrimage_char16* text,
                                               const QrImageOptions* options, int32_t format,
                                               uint32_t* blockSize, unsigned char** block) {
    CallGuarded([&] { GetBlockWithOptions(AsUtf16(text), options, format, blockSize, block); });
}

QRIMAGE_API void QRIMAGE_CALL QrImageGetBlockA(const char* text, const QrImageOptions* options,
                                               int32_t format, uint32_t* blockSize,
                                               unsigned char** block) {
    CallGuarded([&] {
        WithAnsiText(text, 0, [&](const char16_t* wide) {
            GetBlockWithOptions(wide, options, format, blockSize, block);
            return 0;
        });
    });
}

}  // extern "C"
