// Writes a corpus of pictures through the public exports into the current
// folder, for every case a PNG file, a PNG block and a BMP file (NNN.png,
// NNN.block.png, NNN.bmp); exits 1 when a case made no picture. Built for Linux
// and for Windows, so that the two libraries can be compared byte for byte.
#include <qrimage.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using Wide = std::basic_string<qrimage_char16>;

// The block of GetPNGW or GetPNGA (get(&size, &block)) saved as `name`; false for none.
template <class GetPng>
bool SaveBlock(const std::string& name, GetPng get) {
    uint32_t size = 0;
    unsigned char* block = nullptr;
    get(&size, &block);
    const bool saved =
        block != nullptr &&
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<char*>(block), size).flush();
    DestroyBuffer(block);
    return saved;
}

int number = 0, failures = 0;

// The next case: its three files, in the given colours.
void Write(const std::u16string& text16, int margin, int size, int level,
           COLORREF foreground = 0xFF000000u, COLORREF background = 0xFFFFFFFFu) {
    const std::string base = std::to_string(1000 + number++).substr(1);  // 000, 001, ...
    const std::string png = base + ".png", bmp = base + ".bmp";
    const Wide text(text16.begin(), text16.end());
    SetForegroundColor(foreground);
    SetBackgroundColor(background);
    GeneratePNGW(Wide(png.begin(), png.end()).c_str(), text.c_str(), margin, size, level);
    GenerateBMPW(Wide(bmp.begin(), bmp.end()).c_str(), text.c_str(), margin, size, level);
    const auto get = [&](auto... out) { GetPNGW(text.c_str(), margin, size, level, out...); };
    if (!SaveBlock(base + ".block.png", get) || !std::ifstream(png) || !std::ifstream(bmp)) {
        std::fprintf(stderr, "case %s made no picture\n", base.c_str());
        ++failures;
    }
}

}  // namespace

int main() {
    for (const char16_t* text :
         {u"abc", u"Hello, World! 0123456789", u"Привет, мир! Съешь же ещё этих булок",
          u"QR 🙂✓ 𝄞 emoji"}) {
        for (int level = 0; level < 4; ++level) {
            for (int margin : {0, 4, 25}) {
                Write(text, margin, 1, level);
                Write(text, margin, 5, level);
            }
        }
    }
    // Capacity edges: the longest texts that still fit version 40.
    Write(std::u16string(2953, u'a'), 0, 1, 0);
    Write(std::u16string(1273, u'a'), 4, 1, 3);
    Write(std::u16string(7089, u'7'), 1, 1, 0);
    Write(std::u16string(636, u'я'), 0, 1, 3);
    // Colours, the fourth byte included, which no picture shows.
    Write(u"colours", 2, 3, 1, 0x12FF0000u, 0x0000FFFFu);
    // GetPNGA encodes its bytes unchanged, whatever the code page: Cyrillic
    // in code page 1251 gives the same symbol everywhere.
    failures += !SaveBlock("ansi-bytes.block.png", [](auto... out) {
        GetPNGA("\xCF\xF0\xE8\xE2\xE5\xF2", 2, 4, 1, out...);
    });
    SetForegroundColor(0xFF000000u);
    SetBackgroundColor(0xFFFFFFFFu);
    return failures == 0 ? 0 : 1;
}
