// The command line of qrimage, parsed into what the tool should do.
#pragma once

#include <qrimage.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace qrtool {

enum class Format { Png, Bmp, Utf8, Svg, Eps };

// How every picture is drawn; the library's own argument ranges.
struct PictureSettings {
    int32_t level = 1;       // 0..3 = L, M, Q, H
    int32_t margin = 4;      // quiet zone in modules, 0 or more
    int32_t moduleSize = 4;  // pixels per module, 1 or more
    // The picture's own options (the library's per-picture family). Without
    // any of them, pictures are the classic exports' in the shared colours.
    std::optional<uint32_t> foreground;  // RGBA words 0xAABBGGRR
    std::optional<uint32_t> background;
    uint32_t dpi = 0;        // 0: none recorded
    int32_t minVersion = 0;  // 0: the smallest that holds the text
    bool micro = false;      // a Micro QR symbol

    bool HasOwnOptions() const {
        return foreground || background || dpi != 0 || minVersion != 0 || micro;
    }
};

struct Options {
    enum class Command { Encode, Batch, Colours, Help, Version };
    Command command = Command::Encode;
    std::optional<std::string> text;    // Encode: the argument; none or "-" reads standard input
    std::optional<std::string> output;  // -o: a file, "-" for standard output, or a batch pattern
    std::optional<Format> format;       // -t
    PictureSettings settings;
    std::string batchList;               // Batch: the list file, "-" for standard input
    bool nulSeparated = false;           // Batch: -0
    unsigned jobs = 0;                   // Batch: -j, 0 = one per core
    std::optional<COLORREF> foreground;  // Colours: values to set (encoding: in settings)
    std::optional<COLORREF> background;
};

// A mistake in the command line, worded for one line after "qrimage: ".
struct UsageError {
    std::string message;
};

// Parses argv (argv[0] is the program). "qrimage colours ..." is the colours
// command; everything else encodes. Checks ranges and combinations, not
// files. Not thread-safe (getopt_long).
std::variant<Options, UsageError> ParseArguments(int argc, char** argv);

// The letter of a level 0..3.
char LevelLetter(int32_t level);

// Colour words as the user writes them: "RRGGBB" (a leading '#' allowed) to
// a COLORREF with the fourth byte 0xFF, as the defaults have it; and back.
std::optional<COLORREF> ParseColour(const std::string& text);
// "RRGGBB" or "RRGGBBAA" (a leading '#' allowed) as the RGBA word of the
// per-picture options, 0xAABBGGRR; AA is the opacity, FF when left out.
std::optional<uint32_t> ParseRgbaColour(const std::string& text);
std::string FormatColour(COLORREF colour);

}  // namespace qrtool
