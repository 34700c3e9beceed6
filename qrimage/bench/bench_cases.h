// The pictures the benchmarks measure, shared by the benchmark program and
// the peak-memory probe. Module size 5 throughout, as the window program uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qrbench {

inline constexpr int32_t kModuleSize = 5;

struct PictureCase {
    std::string name;  // symbol version, level and margin, e.g. "v40H_m25"
    std::string text;  // lower-case ASCII: one 8-bit segment
    int32_t level;     // 0..3 = L, M, Q, H
    int32_t margin;
    char levelLetter() const { return "LMQH"[level]; }
    std::u16string wideText() const { return {text.begin(), text.end()}; }
};

inline const std::vector<PictureCase>& PictureCases() {
    static const std::vector<PictureCase> cases = {
        {"v1Q_m1", "abc", 2, 1},
        {"v10Q_m1", std::string(150, 'q'), 2, 1},
        {"v40H_m25", std::string(1273, 'h'), 3, 25},
        {"v40L_m25", std::string(2953, 'l'), 0, 25},
    };
    return cases;
}

}  // namespace qrbench
