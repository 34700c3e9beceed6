#include "packed_dib.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr std::size_t kFileHeaderSize = sizeof(BITMAPFILEHEADER);  // 14

template <typename T>
T Read(const std::vector<BYTE>& bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

}  // namespace

std::optional<PackedDib> PackedDib::Load(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    const std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    if (bytes.size() < kFileHeaderSize + sizeof(BITMAPINFOHEADER)) {
        return std::nullopt;
    }
    const auto fileHeader = Read<BITMAPFILEHEADER>(bytes, 0);
    const auto header = Read<BITMAPINFOHEADER>(bytes, kFileHeaderSize);
    const bool known =
        fileHeader.bfType == 0x4D42 && header.biSize == sizeof(BITMAPINFOHEADER) &&
        header.biPlanes == 1 && header.biCompression == BI_RGB &&
        (header.biBitCount == 1 || header.biBitCount == 4 || header.biBitCount == 8 ||
         header.biBitCount == 24 || header.biBitCount == 32) &&
        header.biWidth > 0 && header.biWidth <= 65536 && header.biHeight != 0 &&
        std::abs(header.biHeight) <= 65536 && header.biClrUsed <= 256;
    if (!known) {
        return std::nullopt;
    }
    const std::size_t colours = header.biClrUsed != 0    ? header.biClrUsed
                                : header.biBitCount <= 8 ? (std::size_t{1} << header.biBitCount)
                                                         : 0;
    const std::size_t headerAndTable = sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
    const std::size_t stride = ((std::size_t(header.biWidth) * header.biBitCount + 31) / 32) * 4;
    const std::size_t pixelBytes = stride * std::size_t(std::abs(header.biHeight));
    if (fileHeader.bfOffBits < kFileHeaderSize + headerAndTable ||
        fileHeader.bfOffBits > bytes.size() || bytes.size() - fileHeader.bfOffBits < pixelBytes) {
        return std::nullopt;
    }
    // Header and colour table, then the pixels right after them.
    std::vector<BYTE> packed(headerAndTable + pixelBytes);
    std::memcpy(packed.data(), bytes.data() + kFileHeaderSize, headerAndTable);
    std::memcpy(packed.data() + headerAndTable, bytes.data() + fileHeader.bfOffBits, pixelBytes);
    return PackedDib(std::move(packed), headerAndTable);
}

int PackedDib::Height() const {
    return std::abs(Info()->bmiHeader.biHeight);
}

bool PackedDib::StretchTo(HDC dc, const RECT& target) const {
    SetStretchBltMode(dc, COLORONCOLOR);
    const int lines = StretchDIBits(dc, target.left, target.top, target.right - target.left,
                                    target.bottom - target.top, 0, 0, Width(), Height(), Bits(),
                                    Info(), DIB_RGB_COLORS, SRCCOPY);
    return lines != 0 && lines != int(GDI_ERROR);
}

bool PackedDib::PutOnOpenClipboard() const {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    if (memory == nullptr) {
        return false;
    }
    if (void* target = GlobalLock(memory); target != nullptr) {
        std::memcpy(target, bytes_.data(), bytes_.size());
        GlobalUnlock(memory);
        // The clipboard owns the memory from here on.
        if (SetClipboardData(CF_DIB, memory) != nullptr) {
            return true;
        }
    }
    GlobalFree(memory);
    return false;
}
