// GeneratePNGW/A, GetPNGW/A and DestroyBuffer: the PNG's chunks read back
// by hand and with libpng and zlib, the pixels against independent encoders
// and decoders, colours in the palette, and calls that must produce nothing.
#include <gtest/gtest.h>
#include <qrimage.h>
#include <zlib.h>

#include <clocale>
#include <functional>
#include <memory>

#include "decoder.h"
#include "library_copy.h"
#include "output_test_support.h"

namespace {

using qrtest::ReadFile;
using qrtest::Wide;

struct Chunk {
    std::string type;
    std::string data;
};

uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = value << 8 | uint8_t(bytes.at(at + i));
    }
    return value;
}

// The chunks of a PNG in file order, each CRC checked.
std::vector<Chunk> Chunks(const std::string& png) {
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1A\n");
    std::vector<Chunk> chunks;
    for (std::size_t at = 8; at < png.size();) {
        const uint32_t length = BigEndian32(png, at);
        Chunk chunk{png.substr(at + 4, 4), png.substr(at + 8, length)};
        const std::string covered = png.substr(at + 4, 4 + length);
        EXPECT_EQ(BigEndian32(png, at + 8 + length),
                  crc32(0, reinterpret_cast<const Bytef*>(covered.data()), uInt(covered.size())))
            << chunk.type;
        chunks.push_back(std::move(chunk));
        at += 12 + length;
    }
    return chunks;
}

std::vector<std::string> ChunkTypes(const std::vector<Chunk>& chunks) {
    std::vector<std::string> types;
    for (const Chunk& chunk : chunks) {
        if (types.empty() || types.back() != chunk.type) {
            types.push_back(chunk.type);  // consecutive IDATs count once
        }
    }
    return types;
}

int PaethPredictor(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The stored rows of a PNG of less than 8 bits per pixel, exactly as stored
// (bits after the last pixel included): zlib inflates the image data and the
// row filters are undone here, without libpng.
std::vector<std::string> RawRows(const std::vector<Chunk>& chunks, std::size_t rowBytes,
                                 std::size_t rows) {
    std::string compressed;
    for (const Chunk& chunk : chunks) {
        if (chunk.type == "IDAT") {
            compressed += chunk.data;
        }
    }
    std::string filtered((rowBytes + 1) * rows, '\0');
    uLongf length = uLongf(filtered.size());
    EXPECT_EQ(
        uncompress(reinterpret_cast<Bytef*>(filtered.data()), &length,
                   reinterpret_cast<const Bytef*>(compressed.data()), uLong(compressed.size())),
        Z_OK);
    EXPECT_EQ(length, filtered.size());
    std::vector<std::string> result;
    std::string previous(rowBytes, '\0');
    for (std::size_t r = 0; r < rows; ++r) {
        const int filter = uint8_t(filtered[r * (rowBytes + 1)]);
        std::string row = filtered.substr(r * (rowBytes + 1) + 1, rowBytes);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int left = i > 0 ? uint8_t(row[i - 1]) : 0;
            const int up = uint8_t(previous[i]);
            const int upLeft = i > 0 ? uint8_t(previous[i - 1]) : 0;
            const int predictor[] = {0, left, up, (left + up) / 2,
                                     PaethPredictor(left, up, upLeft)};
            row[i] = char(uint8_t(row[i]) + predictor[filter]);
        }
        result.push_back(row);
        previous = row;
    }
    return result;
}

// One private copy of the library for the whole suite, so that its colours
// are the defaults whatever other tests do with theirs.
class PngOutputTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { library_ = std::make_unique<qrtest::LibraryCopy>(); }
    static void TearDownTestSuite() { library_.reset(); }

    // GetPNGW's block as a string; empty when nothing was made.
    static std::string Block(const std::u16string& text, int margin, int moduleSize, int level) {
        uint32_t size = 0;
        unsigned char* buffer = nullptr;
        QRTEST_EXPORT(*library_, GetPNGW)(text.c_str(), margin, moduleSize, level, &size, &buffer);
        std::string bytes(reinterpret_cast<const char*>(buffer), size);
        QRTEST_EXPORT(*library_, DestroyBuffer)(buffer);
        return bytes;
    }
    static std::string GeneratedFile(const std::u16string& text, int margin, int moduleSize,
                                     int level) {
        qrtest::TempFolder folder;
        QRTEST_EXPORT(*library_, GeneratePNGW)
        (Wide(folder / "p.png").c_str(), text.c_str(), margin, moduleSize, level);
        return ReadFile(folder / "p.png").value_or("");
    }
    static std::optional<std::string> Decoded(const std::string& png) {
        const auto picture = qrtest::DecodePng(png);
        if (!picture) {
            return std::nullopt;
        }
        const std::vector<unsigned char> grey = picture->Grey();
        return qrtest::DecodeQrCode(grey.data(), picture->width, picture->height,
                                    qrtest::PixelFormat::Grey);
    }

    static std::unique_ptr<qrtest::LibraryCopy> library_;
    qrtest::TempFolder folder_;
};

std::unique_ptr<qrtest::LibraryCopy> PngOutputTest::library_;

TEST_F(PngOutputTest, ChunksAreSignatureIhdrPlteTrnsIdatIend) {
    const std::string png = Block(u"abc", 1, 5, 2);
    const std::vector<Chunk> chunks = Chunks(png);
    EXPECT_EQ(ChunkTypes(chunks),
              (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
    ASSERT_GE(chunks.size(), 3u);
    // Width 115, height 115, bit depth 1, palette, deflate, no filter
    // method variant, no interlace.
    EXPECT_EQ(chunks[0].data, std::string("\0\0\0\x73\0\0\0\x73\x01\x03\0\0\0", 13));
    EXPECT_EQ(chunks[1].data, std::string("\0\0\0\xFF\xFF\xFF", 6));
    EXPECT_EQ(chunks[2].data, "\xFF\xFF");
    EXPECT_EQ(Decoded(png), "abc");
}

TEST_F(PngOutputTest, BitsAfterTheLastPixelOfEveryRowAreSet) {
    // 21 modules, margin 4, module size 1: 29 pixels, 4 bytes per row.
    const std::vector<Chunk> chunks = Chunks(Block(u"abc", 4, 1, 0));
    const std::vector<std::string> rows = RawRows(chunks, 4, 29);
    ASSERT_EQ(rows.size(), 29u);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        EXPECT_EQ(uint8_t(rows[y][3]) & 0x07, 0x07) << "row " << y;
    }
    // The quiet zone is background (1 bits); the finder's top edge starts at
    // pixel 4 of row 4: 7 dark pixels.
    EXPECT_EQ(rows[0], "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(uint8_t(rows[4][0]), 0xF0);
    EXPECT_EQ(uint8_t(rows[4][1]) & 0xE0, 0x00);
}

TEST_F(PngOutputTest, FileAndBlockHoldTheSameBytes) {
    for (const auto& text : {std::u16string(u"abc"), Wide(std::string(1273, 'z'))}) {
        const std::string block = Block(text, 3, 2, 3);
        ASSERT_FALSE(block.empty());
        EXPECT_EQ(GeneratedFile(text, 3, 2, 3), block);
    }
}

// The qrencode tool runs the same encoder call through its own renderer.
TEST_F(PngOutputTest, PixelsEqualTheQrencodeToolAtEveryLevel) {
    const std::string texts[] = {"abc", "Hello, World! 0123456789",
                                 "https://example.org/a/path?with=query&and=more#fragment",
                                 std::string(1273, 'a')};
    for (const std::string& text : texts) {
        for (int level = 0; level <= 3; ++level) {
            SCOPED_TRACE(text.substr(0, 40) + " level " + std::to_string(level));
            const int margin = 3 - level;
            const auto expected =
                qrtest::DecodePng(qrtest::QrencodeToolPng(text, level, margin, 5));
            ASSERT_TRUE(expected.has_value());
            const auto ours = qrtest::DecodePng(Block(Wide(text), margin, 5, level));
            ASSERT_TRUE(ours.has_value());
            EXPECT_TRUE(*ours == *expected);
        }
    }
}

TEST_F(PngOutputTest, EachExportEncodesTheBytesItShould) {
    // "Привет" in UTF-8, and in code page 1251.
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 42";
    const std::string cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2 42";
    EXPECT_EQ(Decoded(Block(u"Привет 42", 2, 3, 1)), utf8);
    EXPECT_EQ(Decoded(GeneratedFile(u"Привет 42", 2, 3, 1)), utf8);

    uint32_t size = 0;
    unsigned char* buffer = nullptr;
    QRTEST_EXPORT(*library_, GetPNGA)(cp1251.c_str(), 2, 3, 1, &size, &buffer);
    const std::string narrowBlock(reinterpret_cast<const char*>(buffer), size);
    QRTEST_EXPORT(*library_, DestroyBuffer)(buffer);
    EXPECT_EQ(Decoded(narrowBlock), cp1251);

    // GeneratePNGA widens from the locale's character set, then encodes UTF-8.
    const std::string previous = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "ru_RU.CP1251"), nullptr) << "locale ru_RU.CP1251 missing";
    QRTEST_EXPORT(*library_, GeneratePNGA)((folder_ / "a.png").c_str(), cp1251.c_str(), 2, 3, 1);
    std::setlocale(LC_CTYPE, previous.c_str());
    EXPECT_EQ(Decoded(ReadFile(folder_ / "a.png").value_or("")), utf8);
}

TEST(PngOutputColours, ColourWordsFillThePalette) {
    qrtest::LibraryCopy library;
    QRTEST_EXPORT(library, SetForegroundColor)(0x00FF0000);  // pure blue
    QRTEST_EXPORT(library, SetBackgroundColor)(0x12345678);  // red 78, green 56, blue 34
    uint32_t size = 0;
    unsigned char* buffer = nullptr;
    QRTEST_EXPORT(library, GetPNGW)(u"abc", 1, 2, 0, &size, &buffer);
    const std::string png(reinterpret_cast<const char*>(buffer), size);
    QRTEST_EXPORT(library, DestroyBuffer)(buffer);
    const std::vector<Chunk> chunks = Chunks(png);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks[1].data, std::string("\0\0\xFF\x78\x56\x34", 6));
    EXPECT_EQ(chunks[2].data, "\xFF\xFF");
    const auto picture = qrtest::DecodePng(png);
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->At(0, 0), 0x785634u);  // quiet zone
    EXPECT_EQ(picture->At(2, 2), 0x0000FFu);  // the finder's corner
}

TEST_F(PngOutputTest, FailedBlockCallsLeaveTheOutParametersAlone) {
    auto getW = library_->Get<decltype(GetPNGW)>("GetPNGW");
    auto getA = library_->Get<decltype(GetPNGA)>("GetPNGA");
    uint32_t size = 12345;
    unsigned char marker = 0;
    unsigned char* buffer = &marker;
    const std::u16string tooLong = Wide(std::string(1274, 'a'));
    struct Case {
        const char* name;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"null text", [&] { getW(nullptr, 1, 5, 0, &size, &buffer); }},
        {"empty text", [&] { getW(u"", 1, 5, 0, &size, &buffer); }},
        {"level 4", [&] { getW(u"abc", 1, 5, 4, &size, &buffer); }},
        {"negative margin", [&] { getW(u"abc", -3, 5, 0, &size, &buffer); }},
        {"module size 0", [&] { getW(u"abc", 1, 0, 0, &size, &buffer); }},
        {"picture over 2 GiB", [&] { getW(u"abc", 1, 2000, 0, &size, &buffer); }},
        {"text too long", [&] { getW(tooLong.c_str(), 1, 5, 3, &size, &buffer); }},
        {"null size", [&] { getW(u"abc", 1, 5, 0, nullptr, &buffer); }},
        {"null buffer", [&] { getW(u"abc", 1, 5, 0, &size, nullptr); }},
        {"narrow null text", [&] { getA(nullptr, 1, 5, 0, &size, &buffer); }},
        {"narrow empty text", [&] { getA("", 1, 5, 0, &size, &buffer); }},
        {"narrow level -1", [&] { getA("abc", 1, 5, -1, &size, &buffer); }},
    };
    for (const Case& failing : cases) {
        SCOPED_TRACE(failing.name);
        failing.call();
        EXPECT_EQ(size, 12345u);
        EXPECT_EQ(buffer, &marker);
    }
    QRTEST_EXPORT(*library_, DestroyBuffer)(nullptr);
}

TEST_F(PngOutputTest, FailedFileCallsLeaveEverythingAsItWas) {
    const std::string existing = folder_ / "existing.png";
    const std::u16string wideExisting = Wide(existing);
    auto generateW = library_->Get<decltype(GeneratePNGW)>("GeneratePNGW");
    auto generateA = library_->Get<decltype(GeneratePNGA)>("GeneratePNGA");
    struct Case {
        const char* name;
        std::function<void()> call;
    };
    const Case cases[] = {
        // The arguments are checked as for the block; these are the file's own.
        {"null file name", [&] { generateW(nullptr, u"abc", 1, 5, 0); }},
        {"null text", [&] { generateW(wideExisting.c_str(), nullptr, 1, 5, 0); }},
        {"level 4", [&] { generateW(wideExisting.c_str(), u"abc", 1, 5, 4); }},
        {"missing folder",
         [&] { generateW(Wide(folder_ / "no/such.png").c_str(), u"abc", 1, 5, 0); }},
        {"folder as target", [&] { generateW(Wide(folder_.Path()).c_str(), u"abc", 1, 5, 0); }},
        {"narrow null file name", [&] { generateA(nullptr, "abc", 1, 5, 0); }},
        {"narrow null text", [&] { generateA(existing.c_str(), nullptr, 1, 5, 0); }},
    };
    for (const bool targetExists : {false, true}) {
        for (const Case& failing : cases) {
            SCOPED_TRACE(std::string(failing.name) + (targetExists ? ", file exists" : ""));
            if (targetExists) {
                qrtest::WriteFile(existing, "earlier content");
            }
            failing.call();
            EXPECT_TRUE(qrtest::FileHolds(
                existing,
                targetExists ? std::optional<std::string>("earlier content") : std::nullopt));
            EXPECT_EQ(folder_.Entries().size(), targetExists ? 1u : 0u);
        }
    }
}

}  // namespace
