// Speed of the picture exports against lower bounds measured in the same run.
//
// For every case of bench_cases.h:
//   Encode                 the bare encoder call every export makes
//   Bound_EncMemset        Encode + filling 4*S*S bytes of fresh memory: what
//                          any 32-bit bitmap costs at least
//   Bound_EncMemsetWrite   that + open/write/close of the 54 + 4*S*S bytes of
//                          a BMP file
//   Bound_EncPngPrepacked  Encode + libpng with the library's settings on rows
//                          packed before the clock starts
//   GetHBitmapW, GenerateBMPW, GetPNGW, GeneratePNGW   the exports
//   QrencodeTool           one run of the qrencode program making the same
//                          PNG file (wall-clock time, process start included)
// scripts/run-bench turns the medians into ratios and checks them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <png.h>
#include <qrencode.h>
#include <qrimage.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_cases.h"

extern char** environ;

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
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, file.get(), bytes) != ssize_t(bytes) || close(fd) != 0) {
            state.SkipWithError("cannot write the yardstick file");
            break;
        }
    }
    SetPictureCounters(state, picture);
}

void AppendToString(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
void FlushNothing(png_structp) {}

// libpng with the library's settings on rows that are already packed. Plain
// data only here: a libpng error would longjmp back to the setjmp.
bool WritePrepackedPng(png_structp png, png_infop info, std::string* out, png_uint_32 side,
                       png_bytep* rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, out, AppendToString, FlushNothing);
    png_set_IHDR(png, info, side, side, 1, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[2] = {{0, 0, 0}, {255, 255, 255}};
    png_set_PLTE(png, info, palette, 2);
    png_byte opaque[2] = {255, 255};
    png_set_tRNS(png, info, opaque, 2, nullptr);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < side; ++y) {
        png_write_row(png, rows[y]);
    }
    png_write_end(png, info);
    return true;
}

void BM_Bound_EncPngPrepacked(benchmark::State& state, const PictureCase& picture) {
    // The packed picture, made before the clock starts.
    const Symbol symbol = Encode(picture);
    const std::size_t side = Side(*symbol, picture);
    const std::size_t rowBytes = (side + 7) / 8;
    std::vector<png_byte> packed(rowBytes * side, 0xFF);
    const std::size_t quiet = std::size_t(picture.margin) * kModuleSize;
    for (std::size_t y = quiet; y < side - quiet; ++y) {
        const unsigned char* modules =
            symbol->data + (y - quiet) / kModuleSize * std::size_t(symbol->width);
        for (std::size_t x = quiet; x < side - quiet; ++x) {
            if (modules[(x - quiet) / kModuleSize] & 1u) {
                packed[y * rowBytes + x / 8] &= png_byte(~(0x80u >> (x % 8)));
            }
        }
    }
    std::vector<png_bytep> rows(side);
    for (std::size_t y = 0; y < side; ++y) {
        rows[y] = packed.data() + y * rowBytes;
    }
    std::string out;
    for (auto _ : state) {
        Symbol encoded = Encode(picture);
        benchmark::DoNotOptimize(encoded.get());
        out.clear();
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        const bool written = WritePrepackedPng(png, info, &out, png_uint_32(side), rows.data());
        png_destroy_write_struct(&png, &info);
        if (!written) {
            state.SkipWithError("libpng failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["png_bytes"] = double(out.size());
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

void BM_QrencodeTool(benchmark::State& state, const PictureCase& picture) {
    const std::string path = Folder().File("tool-" + picture.name + ".png");
    const std::string level(1, picture.levelLetter());
    const std::string size = std::to_string(kModuleSize);
    const std::string margin = std::to_string(picture.margin);
    std::vector<std::string> arguments = {"qrencode", "-l", level, "-s", size, "-m",
                                          margin,     "-t", "PNG", "-o", path, picture.text};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        if (posix_spawnp(&child, "qrencode", nullptr, nullptr, argv.data(), environ) != 0 ||
            waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("qrencode failed");
            break;
        }
    }
}

void RegisterAll() {
    using Function = void (*)(benchmark::State&, const PictureCase&);
    struct Entry {
        const char* name;
        Function function;
        bool realTime;
    };
    const Entry entries[] = {
        {"Encode", BM_Encode, false},
        {"Bound_EncMemset", BM_Bound_EncMemset, false},
        {"Bound_EncMemsetWrite", BM_Bound_EncMemsetWrite, false},
        {"Bound_EncPngPrepacked", BM_Bound_EncPngPrepacked, false},
        {"GetHBitmapW", BM_GetHBitmapW, false},
        {"GenerateBMPW", BM_GenerateBMPW, false},
        {"GetPNGW", BM_GetPNGW, false},
        {"GeneratePNGW", BM_GeneratePNGW, false},
        // Most of its time is spent in another process: only the wall clock
        // sees it.
        {"QrencodeTool", BM_QrencodeTool, true},
    };
    for (const PictureCase& picture : qrbench::PictureCases()) {
        for (const Entry& entry : entries) {
            auto* benchmark = benchmark::RegisterBenchmark(
                (std::string(entry.name) + "/" + picture.name).c_str(), entry.function, picture);
            benchmark->Unit(benchmark::kMicrosecond);
            if (entry.realTime) {
                benchmark->UseRealTime();
            }
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
