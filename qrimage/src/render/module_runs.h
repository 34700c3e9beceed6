// Runs of neighbouring dark modules, the unit the vector writers draw.
#pragma once

#include <cstdint>

#include "encode/symbol.h"

namespace qrimage {

// Calls run(row, firstColumn, length) for every run of dark modules of the
// symbol, rows from the top, runs left to right; columns and rows count
// modules of the symbol, quiet zone not included.
template <class Run>
void ForEachDarkRun(const Symbol& symbol, Run&& run) {
    const int32_t width = symbol.Width();
    for (int32_t row = 0; row < width; ++row) {
        const unsigned char* modules = symbol.Row(row);
        for (int32_t column = 0; column < width;) {
            if ((modules[column] & 1u) == 0) {
                ++column;
                continue;
            }
            const int32_t first = column;
            while (column < width && (modules[column] & 1u) != 0) {
                ++column;
            }
            run(row, first, column - first);
        }
    }
}

}  // namespace qrimage
