// Speed of the picture exports against lower bounds measured in the same run.
//
// For every case of bench_cases.h:
//   Encode                 the bare encoder call every export makes
//   Bound_EncMemset        Encode + filling 4*S*S bytes of fresh memory: what
//                          any 32-bit bitmap costs at least
//   Bound_EncMemsetWrite   that + the 54 + 4*S*S bytes of a BMP file written
//                          with the same atomic replacement as the library's
//                          (temporary file beside the target, then rename)
//   Bound_EncPngPrepacked  Encode + libpng with the library's settings on rows
//                          packed before the clock starts
//   Bound_EncPngPrepackedWrite   that + the PNG written with the atomic
//                          replacement
//   GetHBitmapW, GenerateBMPW, GetPNGW, GeneratePNGW   the exports
//   OptionsPNG, OptionsSVG, OptionsEPS   QrImageGetBlockW of the per-picture
//                          family, same symbol, margin and module size
// scripts/run-bench turns the medians into ratios and checks them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <png.h>
#include <qrencode.h>
#include <qrimage.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "png_floor.h"

namespace {

using qrbench::kModuleSize;
using qrbench::PictureCase;

// Where the file benchmarks write: $QRIMAGE_BENCH_DIR, else a new folder in
// $TMPDIR (or /tmp), removed at exit.
class BenchFolder {
  public:
    BenchFolder() {
        if (const char* chosen = std::getenv("QRIMAGE_BENCH_DIR"); chosen != nullptr && *chosen) {
            path_ = chosen;
            return;
        }
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base ? base : "/tmp") + "/qrimage-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create " + pattern);
        }
        path_ = pattern;
        owned_ = true;
    }
    ~BenchFolder() {
        if (owned_) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
    bool owned_ = false;
};

const BenchFolder& Folder() {
    static const BenchFolder folder;
    return folder;
}

using Symbol = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

Symbol Encode(const PictureCase& picture) {
    Symbol symbol(
        QRcode_encodeString(picture.text.c_str(), 0, QRecLevel(picture.level), QR_MODE_8, 1),
        &QRcode_free);
    if (!symbol) {
        throw std::runtime_error("cannot encode " + picture.name);
    }
    return symbol;
}

std::size_t Side(const QRcode& symbol, const PictureCase& picture) {
    return std::size_t(symbol.width + 2 * picture.margin) * kModuleSize;
}

void SetPictureCounters(benchmark::State& state, const PictureCase& picture) {
    const Symbol symbol = Encode(picture);
    state.counters["side"] = double(Side(*symbol, picture));
}

// ---- yardsticks ----------------------------------------------------------

void BM_Encode(benchmark::State& state, const PictureCase& picture) {
    for (auto _ : state) {
        Symbol symbol = Encode(picture);
        benchmark::DoNotOptimize(symbol.get());
    }
    SetPictureCounters(state, picture);
}

void BM_Bound_EncMemset(benchmark::State& state, const PictureCase& picture) {
    for (auto _ : state) {
        Symbol symbol = Encode(picture);
        const std::size_t side = Side(*symbol, picture);
        auto pixels = std::make_unique_for_overwrite<unsigned char[]>(4 * side * side);
        std::memset(pixels.get(), 0xFF, 4 * side * side);
        benchmark::DoNotOptimize(pixels.get());
        benchmark::ClobberMemory();
    }
    SetPictureCounters(state, picture);
}

void BM_Bound_EncMemsetWrite(benchmark::State& state, const PictureCase& picture) {
    const std::string path = Folder().File("bound-" + picture.name + ".bmp");
    for (auto _ : state) {
        Symbol symbol = Encode(picture);
        const std::size_t side = Side(*symbol, picture);
        const std::size_t bytes = 54 + 4 * side * side;
        auto file = std::make_unique_for_overwrite<unsigned char[]>(bytes);
        std::memset(file.get(), 0xFF, bytes);
        if (!qrbench::ReplaceAtomically(path, file.get(), bytes)) {
            state.SkipWithError("cannot write the yardstick file");
            break;
        }
    }
    SetPictureCounters(state, picture);
}

void BM_Bound_EncPngPrepacked(benchmark::State& state, const PictureCase& picture) {
    const qrbench::PackedPicture packed =
        qrbench::Pack(*Encode(picture), picture.margin, kModuleSize);
    std::string out;
    for (auto _ : state) {
        Symbol encoded = Encode(picture);
        benchmark::DoNotOptimize(encoded.get());
        if (!qrbench::WritePrepackedPng(packed, &out)) {
            state.SkipWithError("libpng failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["png_bytes"] = double(out.size());
}

void BM_Bound_EncPngPrepackedWrite(benchmark::State& state, const PictureCase& picture) {
    const qrbench::PackedPicture packed =
        qrbench::Pack(*Encode(picture), picture.margin, kModuleSize);
    const std::string path = Folder().File("bound-" + picture.name + ".png");
    std::string out;
    for (auto _ : state) {
        Symbol encoded = Encode(picture);
        benchmark::DoNotOptimize(encoded.get());
        if (!qrbench::WritePrepackedPng(packed, &out) ||
            !qrbench::ReplaceAtomically(path, out.data(), out.size())) {
            state.SkipWithError("cannot write the yardstick file");
            break;
        }
    }
}

// ---- the exports ---------------------------------------------------------

void BM_GetHBitmapW(benchmark::State& state, const PictureCase& picture) {
    const std::u16string text = picture.wideText();
    for (auto _ : state) {
        HBITMAP bitmap = GetHBitmapW(text.c_str(), picture.margin, kModuleSize, picture.level);
        if (bitmap == nullptr) {
            state.SkipWithError("no bitmap");
            break;
        }
        DeleteObject(bitmap);
    }
    SetPictureCounters(state, picture);
}

void BM_GenerateBMPW(benchmark::State& state, const PictureCase& picture) {
    const std::string path = Folder().File("export-" + picture.name + ".bmp");
    const std::u16string widePath(path.begin(), path.end());
    const std::u16string text = picture.wideText();
    for (auto _ : state) {
        GenerateBMPW(widePath.c_str(), text.c_str(), picture.margin, kModuleSize, picture.level);
    }
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no file written");
    }
    SetPictureCounters(state, picture);
}

void BM_GetPNGW(benchmark::State& state, const PictureCase& picture) {
    const std::u16string text = picture.wideText();
    uint32_t size = 0;
    for (auto _ : state) {
        unsigned char* buffer = nullptr;
        GetPNGW(text.c_str(), picture.margin, kModuleSize, picture.level, &size, &buffer);
        if (buffer == nullptr) {
            state.SkipWithError("no PNG");
            break;
        }
        DestroyBuffer(buffer);
    }
    state.counters["png_bytes"] = double(size);
}

void BM_GeneratePNGW(benchmark::State& state, const PictureCase& picture) {
    const std::string path = Folder().File("export-" + picture.name + ".png");
    const std::u16string widePath(path.begin(), path.end());
    const std::u16string text = picture.wideText();
    for (auto _ : state) {
        GeneratePNGW(widePath.c_str(), text.c_str(), picture.margin, kModuleSize, picture.level);
    }
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no file written");
    }
}

// The per-picture family's block in `format`, black on white as GetPNGW draws.
void BM_Options(benchmark::State& state, const PictureCase& picture, int32_t format) {
    const std::u16string text = picture.wideText();
    QrImageOptions options = QRIMAGE_OPTIONS_INIT;
    options.level = picture.level;
    options.margin = picture.margin;
    options.moduleSize = kModuleSize;
    uint32_t size = 0;
    for (auto _ : state) {
        unsigned char* block = nullptr;
        QrImageGetBlockW(text.c_str(), &options, format, &size, &block);
        if (block == nullptr) {
            state.SkipWithError("no block");
            break;
        }
        DestroyBuffer(block);
    }
    state.counters["bytes"] = double(size);
}

void BM_OptionsPNG(benchmark::State& state, const PictureCase& picture) {
    BM_Options(state, picture, QRIMAGE_PNG);
}
void BM_OptionsSVG(benchmark::State& state, const PictureCase& picture) {
    BM_Options(state, picture, QRIMAGE_SVG);
}
void BM_OptionsEPS(benchmark::State& state, const PictureCase& picture) {
    BM_Options(state, picture, QRIMAGE_EPS);
}

void RegisterAll() {
    using Function = void (*)(benchmark::State&, const PictureCase&);
    struct Entry {
        const char* name;
        Function function;
    };
    const Entry entries[] = {
        {"Encode", BM_Encode},
        {"Bound_EncMemset", BM_Bound_EncMemset},
        {"Bound_EncMemsetWrite", BM_Bound_EncMemsetWrite},
        {"Bound_EncPngPrepacked", BM_Bound_EncPngPrepacked},
        {"Bound_EncPngPrepackedWrite", BM_Bound_EncPngPrepackedWrite},
        {"GetHBitmapW", BM_GetHBitmapW},
        {"GenerateBMPW", BM_GenerateBMPW},
        {"GetPNGW", BM_GetPNGW},
        {"GeneratePNGW", BM_GeneratePNGW},
        {"OptionsPNG", BM_OptionsPNG},
        {"OptionsSVG", BM_OptionsSVG},
        {"OptionsEPS", BM_OptionsEPS},
    };
    for (const PictureCase& picture : qrbench::PictureCases()) {
        for (const Entry& entry : entries) {
            auto* benchmark = benchmark::RegisterBenchmark(
                (std::string(entry.name) + "/" + picture.name).c_str(), entry.function, picture);
            benchmark->Unit(benchmark::kMicrosecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
