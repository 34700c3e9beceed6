// Writes pictures through the exports into the current folder, for every case a PNG file, a PNG
// block and a BMP file (NNN.png, NNN.block.png, NNN.bmp), and for the per-picture family every
// format as a file and a block (options-NN.png, options-NN.block.png, ...); exits 1 when a case
// made no picture. Built for Linux and Windows, to compare the two libraries byte for byte.
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

// The next per-picture case: its file and its block in every format.
void WriteWithOptions(const std::u16string& text16, const QrImageOptions& options) {
    static int optionsNumber = 0;
    const std::string base = "options-" + std::to_string(100 + optionsNumber++).substr(1);
    const Wide text(text16.begin(), text16.end());
    int format = QRIMAGE_PNG;
    for (const char* extension : {".png", ".bmp", ".svg", ".eps"}) {
        const std::string file = base + extension;
        QrImageWriteFileW(Wide(file.begin(), file.end()).c_str(), text.c_str(), &options, format);
        const auto get = [&](auto... out) {
            QrImageGetBlockW(text.c_str(), &options, format, out...);
        };
        if (!SaveBlock(base + ".block" + extension, get) || !std::ifstream(file)) {
            std::fprintf(stderr, "case %s%s made no picture\n", base.c_str(), extension);
            ++failures;
        }
        ++format;
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
    // GetPNGA encodes its bytes unchanged: Cyrillic in code page 1251 is one symbol everywhere.
    failures += !SaveBlock("ansi-bytes.block.png", [](auto... out) {
        GetPNGA("\xCF\xF0\xE8\xE2\xE5\xF2", 2, 4, 1, out...);
    });
    SetForegroundColor(0xFF000000u);
    SetBackgroundColor(0xFFFFFFFFu);
    // The per-picture family: colours with opacity, resolutions, minimum versions, Micro QR.
    QrImageOptions options = QRIMAGE_OPTIONS_INIT;
    WriteWithOptions(u"Привет, options", options);
    options.foreground = 0xFF800000u;
    options.background = 0x00FFFFFFu;
    options.dpi = 300;
    options.margin = 2;
    WriteWithOptions(u"navy on transparent", options);
    options.background = 0x80E0F0FFu;
    options.dpi = 127;
    options.minVersion = 12;
    options.moduleSize = 3;
    WriteWithOptions(u"QR 🙂 version 12", options);
    options = QRIMAGE_OPTIONS_INIT;
    options.micro = 1;
    options.level = 2;
    WriteWithOptions(u"MICRO", options);
    return failures == 0 ? 0 : 1;
}
