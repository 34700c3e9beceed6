// Writes a corpus of pictures through the public exports into the current
// folder: for every case a PNG file, a PNG block and a BMP file, named
// NNN.png, NNN.block.png, NNN.bmp. Built for Linux and for Windows from this
// one source, so that the two libraries can be compared byte for byte.
// Exits 1 when a case made no picture.
#include <qrimage.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Wide = std::basic_string<qrimage_char16>;

Wide ToWide(const std::u16string& text) {
    return Wide(text.begin(), text.end());
}

struct Case {
    std::u16string text;
    int margin, moduleSize, level;
    COLORREF foreground = 0xFF000000u, background = 0xFFFFFFFFu;
};

std::vector<Case> Cases() {
    const std::u16string texts[] = {u"abc", u"Hello, World! 0123456789",
                                    u"Привет, мир! Съешь же ещё этих булок",
                                    u"QR 🙂✓ 𝄞 emoji"};
    std::vector<Case> cases;
    for (const auto& text : texts) {
        for (int level = 0; level < 4; ++level) {
            for (int margin : {0, 4, 25}) {
                for (int moduleSize : {1, 5}) {
                    cases.push_back({text, margin, moduleSize, level});
                }
            }
        }
    }
    // Capacity edges: the longest texts that still fit version 40.
    cases.push_back({std::u16string(2953, u'a'), 0, 1, 0});
    cases.push_back({std::u16string(1273, u'a'), 4, 1, 3});
    cases.push_back({std::u16string(7089, u'7'), 1, 1, 0});
    cases.push_back({std::u16string(636, u'я'), 0, 1, 3});
    // Colours, the fourth byte included, which no picture shows.
    cases.push_back({u"colours", 2, 3, 1, 0x12FF0000u, 0x0000FFFFu});
    return cases;
}

bool Save(const std::string& name, const unsigned char* bytes, uint32_t size) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    return bool(out.write(reinterpret_cast<const char*>(bytes), std::streamsize(size)).flush());
}

bool Exists(const std::string& name) {
    return bool(std::ifstream(name, std::ios::binary));
}

}  // namespace

int main() {
    int failures = 0;
    int number = 0;
    for (const Case& c : Cases()) {
        char base[16];
        std::snprintf(base, sizeof base, "%03d", number++);
        const Wide text = ToWide(c.text);
        SetForegroundColor(c.foreground);
        SetBackgroundColor(c.background);
        const std::string png = std::string(base) + ".png", bmp = std::string(base) + ".bmp";
        GeneratePNGW(ToWide(std::u16string(png.begin(), png.end())).c_str(), text.c_str(), c.margin,
                     c.moduleSize, c.level);
        GenerateBMPW(ToWide(std::u16string(bmp.begin(), bmp.end())).c_str(), text.c_str(), c.margin,
                     c.moduleSize, c.level);
        uint32_t size = 0;
        unsigned char* block = nullptr;
        GetPNGW(text.c_str(), c.margin, c.moduleSize, c.level, &size, &block);
        const bool saved = block != nullptr && Save(std::string(base) + ".block.png", block, size);
        DestroyBuffer(block);
        if (!saved || !Exists(png) || !Exists(bmp)) {
            std::fprintf(stderr, "case %s made no picture\n", base);
            ++failures;
        }
    }
    // GetPNGA encodes its bytes unchanged, whatever the code page: Cyrillic
    // in code page 1251 gives the same symbol everywhere.
    uint32_t size = 0;
    unsigned char* block = nullptr;
    GetPNGA("\xCF\xF0\xE8\xE2\xE5\xF2", 2, 4, 1, &size, &block);
    failures += block != nullptr && Save("ansi-bytes.block.png", block, size) ? 0 : 1;
    DestroyBuffer(block);
    SetForegroundColor(0xFF000000u);
    SetBackgroundColor(0xFFFFFFFFu);
    return failures == 0 ? 0 : 1;
}
