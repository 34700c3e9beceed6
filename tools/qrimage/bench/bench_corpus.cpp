// The corpus in memory on one thread, at the tool's default settings (level
// M, margin 4, 4 pixels a module):
//   CorpusGetPNGW  GetPNGW over every text
//   CorpusFloor    the sum of each text's floors: the encoder call plus
//                  libpng with the library's settings on rows packed before
//                  the clock starts
//   CorpusEncode   the encoder calls alone, the share of the work that the
//                  qrencode program does too
// scripts/run-bench divides the medians.
#include <benchmark/benchmark.h>
#include <qrencode.h>
#include <qrimage.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "corpus.h"
#include "png_floor.h"

namespace {

constexpr int kLevel = 1, kMargin = 4, kModuleSize = 4;

using Symbol = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

Symbol Encode(const std::string& text) {
    Symbol symbol(QRcode_encodeString(text.c_str(), 0, QRecLevel(kLevel), QR_MODE_8, 1),
                  &QRcode_free);
    return symbol ? std::move(symbol) : throw std::runtime_error("cannot encode " + text);
}

std::u16string Utf16(const std::string& utf8) {
    std::u16string wide;
    for (std::size_t i = 0; i < utf8.size();) {  // the corpus stays below U+10000
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            point = point << 6 | (static_cast<unsigned char>(utf8[i + std::size_t(k)]) & 0x3F);
        }
        wide += char16_t(point);
        i += std::size_t(length);
    }
    return wide;
}

void BM_CorpusGetPNGW(benchmark::State& state) {
    std::vector<std::u16string> texts;
    for (const std::string& text : qrbench::Corpus()) {
        texts.push_back(Utf16(text));
    }
    for (auto _ : state) {
        for (const std::u16string& text : texts) {
            uint32_t size = 0;
            unsigned char* block = nullptr;
            GetPNGW(text.c_str(), kMargin, kModuleSize, kLevel, &size, &block);
            if (block == nullptr) {
                state.SkipWithError("no PNG");
                return;
            }
            DestroyBuffer(block);
        }
    }
}

void BM_CorpusFloor(benchmark::State& state) {
    const std::vector<std::string> texts = qrbench::Corpus();
    std::vector<qrbench::PackedPicture> pictures;
    for (const std::string& text : texts) {
        pictures.push_back(qrbench::Pack(*Encode(text), kMargin, kModuleSize));
    }
    std::string out;
    for (auto _ : state) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            Symbol symbol = Encode(texts[i]);
            benchmark::DoNotOptimize(symbol.get());
            if (!qrbench::WritePrepackedPng(pictures[i], &out)) {
                state.SkipWithError("libpng failed");
                return;
            }
            benchmark::DoNotOptimize(out.data());
        }
    }
}

void BM_CorpusEncode(benchmark::State& state) {
    const std::vector<std::string> texts = qrbench::Corpus();
    for (auto _ : state) {
        for (const std::string& text : texts) {
            Symbol symbol = Encode(text);
            benchmark::DoNotOptimize(symbol.get());
        }
    }
}

BENCHMARK(BM_CorpusGetPNGW)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorpusFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorpusEncode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
