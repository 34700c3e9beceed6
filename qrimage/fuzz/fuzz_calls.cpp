#include "fuzz_calls.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace qrfuzz {
namespace {

// Mode bits, read from the input's last byte.
constexpr uint8_t kRawLevel = 1u << 0;
constexpr uint8_t kRawMargin = 1u << 1;
constexpr uint8_t kRawModuleSize = 1u << 2;
constexpr uint8_t kWideAsPairs = 1u << 3;
constexpr uint8_t kSetColours = 1u << 4;
constexpr int kCharsetShift = 5;  // two bits

int32_t ConsumeInt(FuzzedDataProvider& input, bool raw, int32_t low, int32_t high) {
    return raw ? input.ConsumeIntegral<int32_t>() : input.ConsumeIntegralInRange(low, high);
}

// Field by field: padding bytes carry nothing.
bool SameRecord(const BITMAP& a, const BITMAP& b) {
    return a.bmType == b.bmType && a.bmWidth == b.bmWidth && a.bmHeight == b.bmHeight &&
           a.bmWidthBytes == b.bmWidthBytes && a.bmPlanes == b.bmPlanes &&
           a.bmBitsPixel == b.bmBitsPixel && a.bmBits == b.bmBits;
}

}  // namespace

CallArguments ConsumeCallArguments(FuzzedDataProvider& input) {
    const uint8_t mode = input.ConsumeIntegral<uint8_t>();
    CallArguments arguments{};
    arguments.level = ConsumeInt(input, mode & kRawLevel, -1, 4);
    arguments.margin = ConsumeInt(input, mode & kRawMargin, -1, 10);
    arguments.moduleSize = ConsumeInt(input, mode & kRawModuleSize, -1, 6);
    arguments.wideAsPairs = (mode & kWideAsPairs) != 0;
    static constexpr std::array<Charset, 4> kCharsets = {Charset::Ascii, Charset::Utf8,
                                                         Charset::Cp1251, Charset::Utf8};
    arguments.charset = kCharsets[(mode >> kCharsetShift) & 3u];
    if (mode & kSetColours) {
        const uint32_t foreground = input.ConsumeIntegral<uint32_t>();
        const uint32_t background = input.ConsumeIntegral<uint32_t>();
        arguments.colours = Colours{foreground, background};
    }
    return arguments;
}

void TraceCall(const char* what, const CallArguments& arguments, const Model& model) {
    static const bool tracing = std::getenv("QRIMAGE_FUZZ_TRACE") != nullptr;
    if (!tracing) {
        return;
    }
    static constexpr const char* kKinds[] = {"nothing", "picture", "unknown"};
    std::fprintf(stderr, "%s: level %d margin %d moduleSize %d charset %d%s -> %s", what,
                 arguments.level, arguments.margin, arguments.moduleSize, int(arguments.charset),
                 arguments.wideAsPairs ? " utf16-pairs" : "", kKinds[int(model.kind)]);
    if (model.kind == Model::Kind::Picture) {
        std::fprintf(stderr, " (%d modules, side %lld)", model.width, (long long)model.side);
    }
    std::fprintf(stderr, "%s\n", WithinBudget(model) ? "" : " over budget, skipped");
}

Colours ApplyColours(const std::optional<Colours>& colours) {
    if (colours) {
        SetForegroundColor(colours->foreground);
        SetBackgroundColor(colours->background);
        FUZZ_REQUIRE(GetForegroundColor() == colours->foreground);
        FUZZ_REQUIRE(GetBackgroundColor() == colours->background);
    }
    return Colours{GetForegroundColor(), GetBackgroundColor()};
}

void CheckBitmapHandle(HBITMAP handle, const Model& model, const Colours& colours,
                       int32_t objectSize, uintptr_t foreignHandle) {
    // Handles the library never made are refused without being looked into.
    DIBSECTION probe{};
    FUZZ_REQUIRE(GetObjectW(reinterpret_cast<HBITMAP>(foreignHandle), sizeof probe, &probe) == 0);
    FUZZ_REQUIRE(DeleteObject(reinterpret_cast<HBITMAP>(foreignHandle)) == 0);

    if (model.kind == Model::Kind::Nothing) {
        FUZZ_REQUIRE(handle == nullptr);
    }
    if (model.kind == Model::Kind::Picture) {
        FUZZ_REQUIRE(handle != nullptr);
    }
    if (handle == nullptr) {
        return;
    }

    FUZZ_REQUIRE(GetObjectW(handle, 0, nullptr) == int32_t(sizeof(BITMAP)));
    DIBSECTION section{};
    FUZZ_REQUIRE(GetObjectW(handle, sizeof section, &section) == int32_t(sizeof section));
    const int64_t side = section.dsBm.bmWidth;
    FUZZ_REQUIRE(section.dsBm.bmType == 0);
    FUZZ_REQUIRE(section.dsBm.bmHeight == side);
    FUZZ_REQUIRE(section.dsBm.bmWidthBytes == 4 * side);
    FUZZ_REQUIRE(section.dsBm.bmPlanes == 1 && section.dsBm.bmBitsPixel == 32);
    FUZZ_REQUIRE(section.dsBm.bmBits != nullptr);
    FUZZ_REQUIRE(section.dsBmih.biSize == 40);
    FUZZ_REQUIRE(section.dsBmih.biWidth == side && section.dsBmih.biHeight == -side);
    FUZZ_REQUIRE(section.dsBmih.biPlanes == 1 && section.dsBmih.biBitCount == 32);
    FUZZ_REQUIRE(section.dsBmih.biCompression == 0);
    CheckBgraPixels(static_cast<const unsigned char*>(section.dsBm.bmBits), side, false, model,
                    colours);

    // Any size: the largest record that fits, and not one byte beyond it.
    constexpr unsigned char kUnwritten = 0xA5;
    std::array<unsigned char, sizeof(DIBSECTION) + 32> buffer;
    buffer.fill(kUnwritten);
    const int32_t written = GetObjectW(handle, objectSize, buffer.data());
    const int32_t expected = objectSize >= int32_t(sizeof(DIBSECTION)) ? int32_t(sizeof(DIBSECTION))
                             : objectSize >= int32_t(sizeof(BITMAP))   ? int32_t(sizeof(BITMAP))
                                                                       : 0;
    FUZZ_REQUIRE(written == expected);
    if (written >= int32_t(sizeof(BITMAP))) {
        BITMAP basic;
        std::memcpy(&basic, buffer.data(), sizeof basic);
        FUZZ_REQUIRE(SameRecord(basic, section.dsBm));
    }
    if (written == int32_t(sizeof(DIBSECTION))) {
        DIBSECTION full;
        std::memcpy(&full, buffer.data(), sizeof full);
        FUZZ_REQUIRE(std::memcmp(&full.dsBmih, &section.dsBmih, sizeof full.dsBmih) == 0);
        FUZZ_REQUIRE(full.dshSection == nullptr && full.dsOffset == 0);
    }
    for (std::size_t i = std::size_t(written); i < buffer.size(); ++i) {
        FUZZ_REQUIRE(buffer[i] == kUnwritten);
    }

    FUZZ_REQUIRE(DeleteObject(handle) != 0);
    FUZZ_REQUIRE(DeleteObject(handle) == 0);
    FUZZ_REQUIRE(GetObjectW(handle, sizeof section, &section) == 0);
}

void CheckPngBlock(const std::function<void(uint32_t*, unsigned char**)>& getPng,
                   const Model& model, const Colours& colours) {
    constexpr uint32_t kSizeSentinel = 0xC0FFEE11u;
    unsigned char sentinelByte = 0;
    uint32_t size = kSizeSentinel;
    unsigned char* buffer = &sentinelByte;
    getPng(&size, &buffer);

    const bool produced = buffer != &sentinelByte;
    if (!produced) {
        FUZZ_REQUIRE(size == kSizeSentinel);  // out-parameters untouched together
        FUZZ_REQUIRE(model.kind != Model::Kind::Picture);
        return;
    }
    FUZZ_REQUIRE(model.kind != Model::Kind::Nothing);
    FUZZ_REQUIRE(buffer != nullptr && size > 0 && size != kSizeSentinel);
    CheckPngFile(std::string_view(reinterpret_cast<const char*>(buffer), size), model, colours);
    DestroyBuffer(buffer);
}

}  // namespace qrfuzz
