// The fixed corpus of the batch benchmarks: 10,000 texts whose symbols are
// versions 1 to 10 at level M (1 to 213 bytes of UTF-8), a mix of web
// addresses, Russian words, Wi-Fi settings and plain letters. No text holds a
// newline or a NUL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrbench {

inline std::vector<std::string> Corpus() {
    static const char* const kRussian[] = {"привет ", "мир ", "код ", "строка ", "ёлка "};
    std::vector<std::string> texts;
    uint32_t random = 12345;
    auto next = [&random] { return random = random * 1103515245u + 12345u, random >> 16; };
    for (int i = 0; i < 10000; ++i) {
        const std::size_t length = 1 + std::size_t(i) * 7919 % 213;  // bytes, spread evenly
        std::string text;
        switch (i % 4) {
            case 0:
                text = "https://example.org/item/" + std::to_string(i) + "?q=";
                break;
            case 1:
                break;
            case 2:
                text = "WIFI:T:WPA;S:net-" + std::to_string(i) + ";P:";
                break;
            default:
                break;
        }
        while (text.size() < length) {
            if (i % 4 == 1) {
                text += kRussian[next() % 5];
            } else {
                text += char('a' + next() % 26);
            }
        }
        // Cut to the length at a character boundary; a whole first character
        // at least.
        std::size_t cut = length;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        while (cut == 0 || (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            ++cut;
        }
        text.resize(cut);
        texts.push_back(text);
    }
    return texts;
}

}  // namespace qrbench
