// A picture as a packed device-independent bitmap (header, colour table,
// pixels in one block): what the preview draws, the printer prints and the
// clipboard takes as CF_DIB.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class PackedDib {
  public:
    // Reads a BMP file (an uncompressed BITMAPINFOHEADER picture of 1 to 32
    // bits) into memory. nullopt when the file cannot be read or is no such
    // picture. Any thread.
    static std::optional<PackedDib> Load(const std::wstring& path);

    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(bytes_.data()); }
    const void* Bits() const { return bytes_.data() + pixelOffset_; }
    int Width() const { return Info()->bmiHeader.biWidth; }
    int Height() const;  // rows, whatever the order they are stored in

    // Draws the whole picture stretched to `target` of `dc`, pixel by pixel
    // (COLORONCOLOR: no blending). Returns false when GDI fails. The DC's
    // thread.
    bool StretchTo(HDC dc, const RECT& target) const;

    // Puts a copy on the open clipboard as CF_DIB (Windows offers CF_BITMAP
    // from it too). The clipboard must be opened and emptied by the caller.
    // Returns false when memory or the clipboard fails.
    bool PutOnOpenClipboard() const;

  private:
    PackedDib(std::vector<BYTE> bytes, std::size_t pixelOffset)
        : bytes_(std::move(bytes)), pixelOffset_(pixelOffset) {}

    std::vector<BYTE> bytes_;
    std::size_t pixelOffset_;
};
