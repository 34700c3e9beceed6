// The per-picture family against outside tools: rsvg-convert and Ghostscript draw our SVG and EPS,
// zxing-cpp and zbar read them, qrencode draws the same symbols, Pillow reads the recorded fields.
#include <gtest/gtest.h>

#include <cerrno>

#include "support.h"

namespace {

using namespace qrtest;

QrImageOptions Options(int32_t margin, int32_t moduleSize, uint32_t dark = 0xFF000000u,
                       uint32_t light = 0xFFFFFFFFu) {
    QrImageOptions options = QRIMAGE_OPTIONS_INIT;
    options.margin = margin;
    options.moduleSize = moduleSize;
    options.foreground = dark;
    options.background = light;
    return options;
}

// The block of QrImageGetBlockW; "" when none was made.
std::string Block(const char16_t* text, const QrImageOptions& options, int32_t format) {
    uint32_t size = 0;
    unsigned char* block = nullptr;
    QrImageGetBlockW(reinterpret_cast<const qrimage_char16*>(text), &options, format, &size,
                     &block);
    std::string bytes(reinterpret_cast<char*>(block), block != nullptr ? size : 0);
    DestroyBuffer(block);
    return bytes;
}

// Blue, green and red of every pixel, the fourth byte left out.
std::string ColourBytes(const Picture& picture) {
    std::string colours;
    for (std::size_t i = 0; i < picture.bgra.size(); i += 4) {
        colours.append(picture.bgra, i, 3);
    }
    return colours;
}

struct RendererCase {
    const char* name;
    int32_t format;
    const char* render;  // shell command, IN and OUT the file names
    int32_t margin, moduleSize;
    uint32_t dark, light;
};

const char kRsvg[] = "rsvg-convert -o OUT IN";
const char kGhostscript[] =
    "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r72 -dEPSCrop -dGraphicsAlphaBits=1 "
    "-sOutputFile=OUT IN";

class VectorPictures : public testing::TestWithParam<RendererCase> {};

// Rendered at one pixel per picture pixel, each picture equals our PNG pixel for pixel (no seam, no
// module out of place, the right box), and both decoders read the text back.
TEST_P(VectorPictures, RenderEqualsThePngAndDecodes) {
    const RendererCase& c = GetParam();
    const char16_t text[] = u"Vector 0123 Привет";
    const QrImageOptions options = Options(c.margin, c.moduleSize, c.dark, c.light);
    const TempFolder folder;
    WriteFile(folder / "in", Block(text, options, c.format));
    std::string command = c.render;
    command.replace(command.find("OUT"), 3, Quoted(folder / "out.png"));
    command.replace(command.find("IN"), 2, Quoted(folder / "in"));
    ASSERT_TRUE(Output(command)) << command;
    const Picture rendered = FromPng(ReadFile(folder / "out.png").value_or(""));
    const Picture png = FromPng(Block(text, options, QRIMAGE_PNG));
    EXPECT_TRUE(ColourBytes(rendered) == ColourBytes(png)) << "pixels differ";
    EXPECT_EQ(DecodeQrCode(rendered), "Vector 0123 Привет");
    EXPECT_EQ(Output("zbarimg --raw -q -Sbinary " + Quoted(folder / "out.png") + " 2>/dev/null"),
              "Vector 0123 Привет");
}

INSTANTIATE_TEST_SUITE_P(
    Renderers, VectorPictures,
    testing::Values(
        RendererCase{"SvgBlackOnWhite", QRIMAGE_SVG, kRsvg, 4, 4, 0xFF000000u, 0xFFFFFFFFu},
        RendererCase{"SvgNavyOnYellowOnePixel", QRIMAGE_SVG, kRsvg, 1, 1, 0xFF800000u, 0xFF00FFFFu},
        RendererCase{"EpsBlackOnWhite", QRIMAGE_EPS, kGhostscript, 4, 3, 0xFF000000u, 0xFFFFFFFFu},
        RendererCase{"EpsNavyOnYellowNoMargin", QRIMAGE_EPS, kGhostscript, 0, 2, 0xFF800000u,
                     0xFF00FFFFu}),
    [](const auto& info) { return info.param.name; });

// A transparent background is left unpainted; a resolution sizes the SVG and the EPS box (points).
TEST(VectorPictures, TransparencyAndResolution) {
    QrImageOptions options = Options(2, 3, 0xFF000000u, 0x00FFFFFFu);  // 25 modules, 75 pixels
    options.dpi = 300;
    const TempFolder folder;
    const std::string svg = Block(u"Hello", options, QRIMAGE_SVG);
    EXPECT_NE(svg.find("width=\"0.25in\" height=\"0.25in\" viewBox=\"0 0 25 25\""),
              std::string::npos);
    WriteFile(folder / "in.svg", svg);
    ASSERT_TRUE(Output("rsvg-convert -w 75 -o " + Quoted(folder / "out.png") + " " +
                       Quoted(folder / "in.svg")));
    const Picture rendered = FromPng(ReadFile(folder / "out.png").value_or(""));
    ASSERT_EQ(rendered.side, 75);
    EXPECT_EQ(rendered.bgra[3], 0) << "quiet zone painted";
    EXPECT_EQ(uint8_t(rendered.bgra[(6 * 75 + 6) * 4 + 3]), 255) << "finder module not dark";
    options.dpi = 144;  // 75 pixels are 37.5 points
    EXPECT_NE(Block(u"Hello", options, QRIMAGE_EPS)
                  .find("%%BoundingBox: 0 0 38 38\n%%HiResBoundingBox: 0 0 37.5 37.5\n"),
              std::string::npos);
}

struct EncoderCase {
    const char* name;
    const char* text;
    int32_t level, minVersion;
    bool micro;
};

class SameAsQrencode : public testing::TestWithParam<EncoderCase> {};

// The same level, version, margin and size give qrencode's pixels; zxing-cpp reads the symbol back.
TEST_P(SameAsQrencode, PixelsEqualAndDecode) {
    const EncoderCase& c = GetParam();
    QrImageOptions options = Options(2, 3);
    options.level = c.level;
    options.minVersion = c.minVersion;
    options.micro = c.micro;
    const Picture picture = FromPng(
        Block(reinterpret_cast<const char16_t*>(Wide(c.text).c_str()), options, QRIMAGE_PNG));
    EXPECT_TRUE(picture == Qrencode(c.text, std::string("-m 2 -s 3 -l ") + "LMQH"[c.level] +
                                                (c.micro ? " -M" : "") + " -v " +
                                                std::to_string(c.minVersion)))
        << "pixels differ";
    EXPECT_EQ(DecodeQrCode(picture, c.micro ? ZXing::BarcodeFormat::MicroQRCode
                                            : ZXing::BarcodeFormat::QRCode),
              c.text);
}

INSTANTIATE_TEST_SUITE_P(Symbols, SameAsQrencode,
                         testing::Values(EncoderCase{"MicroM1Digits", "12345", 0, 1, true},
                                         EncoderCase{"MicroM3FromM2", "hello", 1, 2, true},
                                         EncoderCase{"MicroM4Quartile", "abc", 2, 4, true},
                                         EncoderCase{"FullVersion7AtLeast", "abc", 3, 7, false}),
                         [](const auto& info) { return info.param.name; });

// Pillow (Debian's python3-pil) reads palette, opacities and resolution back.
TEST(OutsideReader, PngPaletteTransparencyAndResolutionBmpResolution) {
    QrImageOptions options = Options(1, 2, 0xFF804020u, 0x00FFFFFFu);
    options.dpi = 300;
    const TempFolder folder;
    // The files as QrImageWriteFileW writes them: its blocks' bytes.
    for (const auto& [name, format] : {std::pair("p.png", QRIMAGE_PNG), {"b.bmp", QRIMAGE_BMP}}) {
        const std::u16string path = Wide(folder / name);
        QrImageWriteFileW(reinterpret_cast<const qrimage_char16*>(path.c_str()),
                          reinterpret_cast<const qrimage_char16*>(u"x"), &options, format);
        EXPECT_EQ(ReadFile(folder / name), Block(u"x", options, format)) << name;
    }
    const std::string script =
        "from PIL import Image; import sys\n"
        "p = Image.open(sys.argv[1]); b = Image.open(sys.argv[2])\n"
        "print(p.mode, p.getpalette()[:6], p.info['transparency'],"
        " [round(v) for v in p.info['dpi'] + b.info['dpi']])\n";
    // Debian's interpreter, where python3-pil lives, whatever PATH prefers.
    EXPECT_EQ(Output("/usr/bin/python3 -c " + Quoted(script) + " " + Quoted(folder / "p.png") +
                     " " + Quoted(folder / "b.bmp")),
              "P [32, 64, 128, 255, 255, 255] 1 [300, 300, 300, 300]\n");
    // Opaque colours and no resolution: neither chunk.
    const std::string plain = Block(u"x", Options(1, 2), QRIMAGE_PNG);
    EXPECT_EQ(plain.find("tRNS"), std::string::npos);
    EXPECT_EQ(plain.find("pHYs"), std::string::npos);
}

// A record as a caller may fill it, and what the library makes of it.
struct RecordCase {
    const char* name;
    uint32_t size;
    int32_t level, minVersion, micro;
    uint32_t dpi;
    unsigned char lastTailByte;  // the last of 32 bytes after the record
    int32_t format;
    int expectedErrno;  // 0: a picture is made
};

class OptionsRecord : public testing::TestWithParam<RecordCase> {};

TEST_P(OptionsRecord, MakesOrFailsWithTheReason) {
    const RecordCase& c = GetParam();
    struct {
        QrImageOptions options = QRIMAGE_OPTIONS_INIT;
        unsigned char tail[32] = {};
    } record;
    record.options.size = c.size;
    record.options.level = c.level;
    record.options.minVersion = c.minVersion;
    record.options.micro = c.micro;
    record.options.dpi = c.dpi;
    record.tail[31] = c.lastTailByte;
    errno = 0;
    EXPECT_EQ(Block(u"hello world", record.options, c.format).empty(), c.expectedErrno != 0);
    EXPECT_EQ(errno, c.expectedErrno);
}

constexpr uint32_t kOwn = sizeof(QrImageOptions), kNewer = kOwn + 32;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Records, OptionsRecord, testing::Values(
    RecordCase{"Defaults", kOwn, 1, 0, 0, 0, 0, QRIMAGE_SVG, 0},
    RecordCase{"NewerRecordWithZeroTail", kNewer, 1, 0, 0, 0, 0, QRIMAGE_PNG, 0},
    RecordCase{"NewerRecordWithUnknownField", kNewer, 1, 0, 0, 0, 1, QRIMAGE_PNG, EINVAL},
    RecordCase{"RecordShorterThanFirstVersion", 32, 1, 0, 0, 0, 0, QRIMAGE_PNG, EINVAL},
    RecordCase{"RecordSizeHuge", 1u << 20, 1, 0, 0, 0, 0, QRIMAGE_PNG, EINVAL},
    RecordCase{"MicroAtLevelH", kOwn, 3, 0, 1, 0, 0, QRIMAGE_PNG, EINVAL},
    RecordCase{"MicroVersion5", kOwn, 1, 5, 1, 0, 0, QRIMAGE_PNG, EINVAL},
    RecordCase{"Version41", kOwn, 1, 41, 0, 0, 0, QRIMAGE_PNG, EINVAL},
    RecordCase{"DpiTooHigh", kOwn, 1, 0, 0, 100001, 0, QRIMAGE_PNG, EINVAL},
    RecordCase{"UnknownFormat", kOwn, 1, 0, 0, 0, 0, 5, EINVAL},
    RecordCase{"TextTooLongForMicroLevelQ", kOwn, 2, 4, 1, 0, 0, QRIMAGE_EPS, ERANGE}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// Version 7 is 45 modules wide (the tool's drawing tests compare the modules with the picture).
TEST(SymbolExport, KeepsTheMinimumVersion) {
    QrImageOptions options = Options(0, 1);
    options.minVersion = 7;
    std::unique_ptr<QrImageSymbol, decltype(&QrImageFreeSymbol)> symbol(
        QrImageEncodeW(reinterpret_cast<const qrimage_char16*>(u"modules"), &options),
        &QrImageFreeSymbol);
    ASSERT_TRUE(symbol);
    EXPECT_EQ(QrImageSymbolWidth(symbol.get()), 45);
}

}  // namespace
