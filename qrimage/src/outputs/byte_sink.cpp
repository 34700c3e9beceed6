#include "outputs/byte_sink.h"

#include <cstring>

#include "failure.h"
#include "file_replacement.h"

namespace qrimage {

bool FileSink::Write(const void* data, std::size_t size) noexcept {
    return file_.Write(data, size);
}

bool MemorySink::Write(const void* data, std::size_t size) noexcept {
    if (size == 0) {
        return true;
    }
    if (size > UINT32_MAX - size_) {
        RecordFailure(Failure::PictureTooLarge);
        return false;
    }
    // Grown to exactly the bytes written so far, with no spare capacity: a
    // writer hands over few, large pieces (libpng gathers its own).
    void* grown = std::realloc(block_.get(), size_ + size);
    if (grown == nullptr) {
        RecordFailure(Failure::OutOfMemory);
        return false;
    }
    (void)block_.release();
    block_.reset(static_cast<unsigned char*>(grown));
    std::memcpy(block_.get() + size_, data, size);
    size_ += uint32_t(size);
    return true;
}

}  // namespace qrimage
