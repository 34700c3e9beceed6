#include "outputs/picture_outputs.h"

#include "failure.h"
#include "file_replacement.h"
#include "outputs/bmp_writer.h"
#include "outputs/png_writer.h"
#include "outputs/vector_writers.h"

namespace qrimage {
namespace {

// libpng hands over the chunks in small pieces (a chunk's header, its data
// and its CRC separately); gathering them saves system calls. The other
// writers hand over large blocks that go to the file directly.
std::size_t FileBufferBytes(PictureFormat format) {
    return format == PictureFormat::Png ? 64 * 1024 : 0;
}

}  // namespace

std::optional<PictureFormat> FormatFromNumber(int32_t number) noexcept {
    if (number < QRIMAGE_PNG || number > QRIMAGE_EPS) {
        RecordFailure(Failure::InvalidArgument);
        return std::nullopt;
    }
    return PictureFormat(number);
}

bool WritePicture(const Picture& picture, PictureFormat format, ByteSink& sink) {
    switch (format) {
        case PictureFormat::Png:
            return WritePng(picture, sink);
        case PictureFormat::Bmp:
            return WriteBmp(picture, sink);
        case PictureFormat::Svg:
            return WriteSvg(picture, sink);
        case PictureFormat::Eps:
            return WriteEps(picture, sink);
    }
    RecordFailure(Failure::InvalidArgument);
    return false;
}

void WritePictureFile(const NativeFileName& name, const Picture& picture, PictureFormat format) {
    std::optional<AtomicFile> file = AtomicFile::Open(name, FileBufferBytes(format));
    if (!file) {
        return;
    }
    FileSink sink(*file);
    if (WritePicture(picture, format, sink)) {
        file->Commit();
    }
}

void GetPictureBlock(const Picture& picture, PictureFormat format, uint32_t* size,
                     unsigned char** block) {
    MemorySink sink;
    if (WritePicture(picture, format, sink)) {
        *size = sink.Size();
        *block = sink.Release();
    }
}

}  // namespace qrimage
