// Where a picture writer's bytes go: a file being replaced or a memory block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace qrimage {

class AtomicFile;

// Takes a writer's bytes in order. Write returns false once the bytes cannot
// be kept, with the reason recorded (failure.h); later writes may be ignored.
class ByteSink {
  public:
    virtual bool Write(const void* data, std::size_t size) noexcept = 0;

  protected:
    ~ByteSink() = default;
};

// The bytes go to a file being replaced; the caller commits it.
class FileSink final : public ByteSink {
  public:
    explicit FileSink(AtomicFile& file) : file_(file) {}
    bool Write(const void* data, std::size_t size) noexcept override;

  private:
    AtomicFile& file_;
};

// The bytes gathered in one block from the C heap, exactly as long as what
// was written, so that DestroyBuffer (free) gives it back whatever allocator
// the caller uses. A block would exceed 4 GiB - 1 is PictureTooLarge.
class MemorySink final : public ByteSink {
  public:
    bool Write(const void* data, std::size_t size) noexcept override;

    uint32_t Size() const { return size_; }
    // Hands the block over; the sink is empty afterwards.
    unsigned char* Release() { return block_.release(); }

  private:
    struct Free {
        void operator()(unsigned char* block) const { std::free(block); }
    };
    std::unique_ptr<unsigned char, Free> block_;
    uint32_t size_ = 0;
};

}  // namespace qrimage
