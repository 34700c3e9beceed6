// The work behind each export, below the C boundary (exports.cpp): texts
// arrive as UTF-16 or as symbols, file names as the platform takes them.
// Each records why it made nothing (failure.h) and may throw std::bad_alloc.
#pragma once

#include <qrimage.h>

#include <cstdint>
#include <vector>

#include "encode/symbol.h"
#include "outputs/picture_outputs.h"
#include "platform/file_name.h"

// A symbol handed to a caller of the per-picture family.
struct QrImageSymbol {
    int32_t width;
    std::vector<unsigned char> modules;  // width * width, 1 dark, 0 light
};

namespace qrimage {

// ---- The classic family: the shared colours ----

// GeneratePNGW/BMPW and their A twins.
void GenerateFile(const NativeFileName& name, const char16_t* text, int32_t margin,
                  int32_t moduleSize, int32_t level, PictureFormat format);

// GetPNGW and GetPNGA: the PNG of `code` in a new block; both out-parameters
// point to writable variables.
void GetPngBlock(SymbolPtr code, int32_t margin, int32_t moduleSize, uint32_t* pngSize,
                 unsigned char** pngBuffer);

// GetHBitmapW and GetHBitmapA.
HBITMAP MakeBitmapHandle(const char16_t* text, int32_t margin, int32_t moduleSize, int32_t level);

// ---- The per-picture family: the caller's options, no shared state ----

// QrImageEncodeW/A: the symbol, owned by the caller; null on failure.
QrImageSymbol* EncodeSymbol(const char16_t* text, const QrImageOptions* options);

// QrImageWriteFileW/A.
void WriteFileWithOptions(const NativeFileName& name, const char16_t* text,
                          const QrImageOptions* options, int32_t format);

// QrImageGetBlockW/A.
void GetBlockWithOptions(const char16_t* text, const QrImageOptions* options, int32_t format,
                         uint32_t* blockSize, unsigned char** block);

}  // namespace qrimage
