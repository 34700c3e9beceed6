#include "outputs/png_writer.h"

#include <csetjmp>
#include <cstring>
#include <vector>

#include "failure.h"

namespace qrimage {

namespace {

constexpr int kPaletteEntries = 2;
constexpr png_byte kForegroundIndex = 0;  // a 0 bit in a packed row
constexpr png_byte kBackgroundIndex = 1;  // a 1 bit in a packed row

// libpng's messages never reach the host's stderr: an error goes straight
// back to the recovery point set in RunPngSteps, a warning is dropped. Why a
// write failed is recorded where it happened (failure.h).
[[noreturn]] void SilentPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void SilentPngWarning(png_structp, png_const_charp) {}

// libpng's write and info structures, destroyed together.
class PngWriteStructs {
  public:
    PngWriteStructs()
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentPngError,
                                       SilentPngWarning)),
          info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {}
    ~PngWriteStructs() { png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr); }
    PngWriteStructs(const PngWriteStructs&) = delete;
    PngWriteStructs& operator=(const PngWriteStructs&) = delete;

    bool Valid() const { return png_ != nullptr && info_ != nullptr; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

  private:
    png_structp png_;
    png_infop info_;
};

// Everything the libpng steps read, as plain data: a longjmp out of libpng
// passes over the functions that use it, so none of them may own an object
// with a destructor.
struct PngJob {
    const Symbol* symbol;
    PictureGeometry geometry;
    ByteSink* sink;
    png_color palette[kPaletteEntries];
    png_byte opacity[kPaletteEntries];
    bool writeOpacity;
    png_uint_32 pixelsPerMetre;  // 0: no pHYs chunk
    png_byte* row;
    png_size_t rowBytes;
};

// libpng's write function. Nothing with a destructor is alive here when
// png_error leaves it; the sink has recorded why it failed.
void SinkWrite(png_structp png, png_bytep data, png_size_t length) {
    if (!static_cast<ByteSink*>(png_get_io_ptr(png))->Write(data, length)) {
        png_error(png, "Write Error");
    }
}

// A file is finished by its commit, a block needs nothing.
void SinkFlush(png_structp) {}

// The bits of pixels [first, end) within one byte, most significant bit
// first; 0 <= first < end <= 8.
png_byte BitsOfPixels(png_size_t first, png_size_t end) {
    return png_byte((0xFFu >> first) & ~(0xFFu >> end));
}

// Clears the bits of pixels [first, first + count) in a packed row: partial
// bytes at both ends, whole bytes in between.
void ClearPixelBits(png_byte* row, png_size_t first, png_size_t count) {
    const png_size_t end = first + count;
    const png_size_t firstByte = first / 8;
    const png_size_t lastByte = (end - 1) / 8;
    if (firstByte == lastByte) {
        row[firstByte] &= png_byte(~BitsOfPixels(first % 8, end - lastByte * 8));
        return;
    }
    row[firstByte] &= png_byte(~BitsOfPixels(first % 8, 8));
    std::memset(row + firstByte + 1, 0, lastByte - firstByte - 1);
    row[lastByte] &= png_byte(~BitsOfPixels(0, end - lastByte * 8));
}

// A row of background pixels; the bits after the last pixel are 1 as well.
void FillBackgroundRow(const PngJob& job) {
    std::memset(job.row, 0xFF, job.rowBytes);
}

// The packed row of one symbol row: dark modules' pixels become 0
// (foreground), everything else stays 1 (background). Neighbouring dark
// modules are cleared as one run.
void PackSymbolRow(const PngJob& job, int32_t symbolRow) {
    FillBackgroundRow(job);
    png_size_t runStart = 0;
    png_size_t runLength = 0;
    job.geometry.ForEachModule(job.symbol->Row(symbolRow),
                               [&](int32_t x, int32_t count, bool dark) {
                                   if (!dark) {
                                       return;
                                   }
                                   if (runLength > 0 && runStart + runLength == png_size_t(x)) {
                                       runLength += png_size_t(count);
                                       return;
                                   }
                                   if (runLength > 0) {
                                       ClearPixelBits(job.row, runStart, runLength);
                                   }
                                   runStart = png_size_t(x);
                                   runLength = png_size_t(count);
                               });
    if (runLength > 0) {
        ClearPixelBits(job.row, runStart, runLength);
    }
}

void WriteRowRepeatedly(png_structp png, const PngJob& job, int32_t times) {
    for (int32_t i = 0; i < times; ++i) {
        png_write_row(png, job.row);
    }
}

// The libpng calls from header to end. Any of them may longjmp back to
// RunPngSteps, so only plain data lives here.
void WritePngSteps(png_structp png, png_infop info, const PngJob& job) {
    png_set_write_fn(png, job.sink, SinkWrite, SinkFlush);
    png_set_IHDR(png, info, png_uint_32(job.geometry.side), png_uint_32(job.geometry.side), 1,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, job.palette, kPaletteEntries);
    if (job.writeOpacity) {
        png_set_tRNS(png, info, job.opacity, kPaletteEntries, nullptr);
    }
    if (job.pixelsPerMetre != 0) {
        png_set_pHYs(png, info, job.pixelsPerMetre, job.pixelsPerMetre, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);

    FillBackgroundRow(job);
    WriteRowRepeatedly(png, job, job.geometry.quietPixels);
    for (int32_t symbolRow = 0; symbolRow < job.geometry.symbolWidth; ++symbolRow) {
        PackSymbolRow(job, symbolRow);
        WriteRowRepeatedly(png, job, job.geometry.moduleSize);
    }
    FillBackgroundRow(job);
    WriteRowRepeatedly(png, job, job.geometry.quietPixels);
    png_write_end(png, info);
}

// The recovery point for libpng's errors. Kept apart so that no local
// variable is live across setjmp and no destructor is skipped by longjmp.
bool RunPngSteps(png_structp png, png_infop info, const PngJob& job) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    WritePngSteps(png, info, job);
    return true;
}

png_color PaletteEntry(uint32_t colour) {
    return png_color{Red(colour), Green(colour), Blue(colour)};
}

}  // namespace

bool WritePng(const Picture& picture, ByteSink& sink) {
    const PictureGeometry& geometry = picture.geometry;
    const Colours& colours = picture.colours;
    std::vector<png_byte> row((png_size_t(geometry.side) + 7) / 8);
    PngWriteStructs structs;
    bool written = false;
    if (structs.Valid()) {
        PngJob job{&picture.symbol,
                   geometry,
                   &sink,
                   {},
                   {255, 255},
                   true,
                   png_uint_32(PixelsPerMetre(picture.dotsPerInch)),
                   row.data(),
                   row.size()};
        job.palette[kForegroundIndex] = PaletteEntry(colours.foreground);
        job.palette[kBackgroundIndex] = PaletteEntry(colours.background);
        if (picture.opacity == Opacity::FromColour) {
            // Opaque colours need no chunk; the classic pictures always
            // carry one that marks both entries opaque.
            job.opacity[kForegroundIndex] = Alpha(colours.foreground);
            job.opacity[kBackgroundIndex] = Alpha(colours.background);
            job.writeOpacity = job.opacity[0] != 255 || job.opacity[1] != 255;
        }
        written = RunPngSteps(structs.Png(), structs.Info(), job);
    }
    if (!written) {
        // Unless the sink said why: libpng's own failures are failures to
        // allocate (its structures, zlib's state).
        RecordFailure(Failure::OutOfMemory);
    }
    return written;
}

}  // namespace qrimage
