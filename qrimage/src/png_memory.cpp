// GetPNGW, GetPNGA and DestroyBuffer: the picture as a PNG memory block that
// the caller owns until it gives it back.
#include <qrimage.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "call_guard.h"
#include "colours.h"
#include "failure.h"
#include "picture.h"
#include "png_writer.h"
#include "text_conversion.h"

namespace qrimage {

namespace {

// The block being written: exactly `size` bytes at `data` (null before the
// first write), from the C heap so that DestroyBuffer can free it whatever
// allocator the caller uses.
struct PngMemoryBuffer {
    unsigned char* data;
    uint32_t size;
};

// Frees a block that was not handed to the caller.
class PngMemoryBufferOwner {
  public:
    explicit PngMemoryBufferOwner(PngMemoryBuffer& buffer) : buffer_(buffer) {}
    ~PngMemoryBufferOwner() { std::free(buffer_.data); }
    PngMemoryBufferOwner(const PngMemoryBufferOwner&) = delete;
    PngMemoryBufferOwner& operator=(const PngMemoryBufferOwner&) = delete;

    unsigned char* Release() { return std::exchange(buffer_.data, nullptr); }

  private:
    PngMemoryBuffer& buffer_;
};

// libpng's write function for the block: grows it to exactly the bytes
// written so far, with no spare capacity. On failure the block keeps what it
// had and png_error ends the write; nothing with a destructor is alive here.
void PngMemoryWrite(png_structp png, png_bytep piece, png_size_t length) {
    auto* buffer = static_cast<PngMemoryBuffer*>(png_get_io_ptr(png));
    if (length == 0) {
        return;
    }
    if (length > UINT32_MAX - buffer->size) {
        RecordFailure(Failure::PictureTooLarge);
        png_error(png, "Write Error");
    }
    void* grown = std::realloc(buffer->data, buffer->size + length);
    if (grown == nullptr) {
        RecordFailure(Failure::OutOfMemory);
        png_error(png, "Write Error");
    }
    buffer->data = static_cast<unsigned char*>(grown);
    std::memcpy(buffer->data + buffer->size, piece, length);
    buffer->size += uint32_t(length);
}

void PngMemoryFlush(png_structp) {}

// Renders `code` into a new block and stores it through the out-parameters;
// leaves them untouched when nothing was made.
void GetPng(SymbolPtr code, int32_t margin, int32_t moduleSize, uint32_t* pngSize,
            unsigned char** pngBuffer) {
    const std::optional<Picture> picture = MakePicture(std::move(code), margin, moduleSize);
    if (!picture) {
        return;
    }
    PngMemoryBuffer buffer{nullptr, 0};
    PngMemoryBufferOwner owner(buffer);
    if (WritePng(*picture, PngSink{PngMemoryWrite, PngMemoryFlush, &buffer})) {
        *pngSize = buffer.size;
        *pngBuffer = owner.Release();
    }
}

}  // namespace

}  // namespace qrimage

extern "C" {

QRIMAGE_API void QRIMAGE_CALL GetPNGW(const qrimage_char16* text, int32_t margin,
                                      int32_t moduleSize, int32_t level, uint32_t* pngSize,
                                      unsigned char** pngBuffer) {
    qrimage::CallGuarded([&] {
        if (pngSize == nullptr || pngBuffer == nullptr) {
            qrimage::RecordFailure(qrimage::Failure::InvalidArgument);
            return;
        }
        qrimage::GetPng(qrimage::EncodeTextW(qrimage::AsUtf16(text), level), margin, moduleSize,
                        pngSize, pngBuffer);
    });
}

QRIMAGE_API void QRIMAGE_CALL GetPNGA(const char* text, int32_t margin, int32_t moduleSize,
                                      int32_t level, uint32_t* pngSize, unsigned char** pngBuffer) {
    qrimage::CallGuarded([&] {
        if (pngSize == nullptr || pngBuffer == nullptr) {
            qrimage::RecordFailure(qrimage::Failure::InvalidArgument);
            return;
        }
        // The caller's bytes go to the encoder unchanged.
        qrimage::GetPng(qrimage::EncodeBytes(text, level), margin, moduleSize, pngSize, pngBuffer);
    });
}

QRIMAGE_API void QRIMAGE_CALL DestroyBuffer(unsigned char* buffer) {
    std::free(buffer);
}

}  // extern "C"
