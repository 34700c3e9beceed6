#include "options.h"

#include <getopt.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace qrtool {

namespace {

std::optional<int32_t> ParseNumber(std::string_view text, int32_t minimum) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum) {
        return std::nullopt;
    }
    return value;
}

std::optional<int32_t> ParseLevel(std::string_view text) {
    static constexpr std::string_view kLetters = "LMQH";
    if (text.size() != 1) {
        return std::nullopt;
    }
    const auto at = kLetters.find(char(text[0] & ~0x20));  // either case
    return at == std::string_view::npos ? std::nullopt : std::optional(int32_t(at));
}

// Either case, as qrencode takes them.
std::optional<Format> ParseFormat(std::string_view text) {
    static constexpr std::pair<std::string_view, Format> kNames[] = {{"png", Format::Png},
                                                                     {"bmp", Format::Bmp},
                                                                     {"utf8", Format::Utf8},
                                                                     {"svg", Format::Svg},
                                                                     {"eps", Format::Eps}};
    std::string lower(text);
    for (char& c : lower) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const auto& [name, format] : kNames) {
        if (lower == name) {
            return format;
        }
    }
    return std::nullopt;
}

// The hexadecimal digits of a colour, '#' dropped; nullopt unless there are
// `count` of them exactly.
std::optional<uint32_t> HexDigits(std::string_view text, std::size_t count) {
    const std::string_view digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.size() != count || error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

// RRGGBB as written to a word with red in its lowest byte.
uint32_t FromRgb(uint32_t rgb) {
    return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

enum LongOnly { kBatch = 0x100, kForeground, kBackground };

const option kEncodeOptions[] = {{"output", required_argument, nullptr, 'o'},
                                 {"type", required_argument, nullptr, 't'},
                                 {"level", required_argument, nullptr, 'l'},
                                 {"margin", required_argument, nullptr, 'm'},
                                 {"size", required_argument, nullptr, 's'},
                                 {"foreground", required_argument, nullptr, kForeground},
                                 {"background", required_argument, nullptr, kBackground},
                                 {"dpi", required_argument, nullptr, 'd'},
                                 {"symversion", required_argument, nullptr, 'v'},
                                 {"micro", no_argument, nullptr, 'M'},
                                 {"batch", required_argument, nullptr, kBatch},
                                 {"null", no_argument, nullptr, '0'},
                                 {"jobs", required_argument, nullptr, 'j'},
                                 {"help", no_argument, nullptr, 'h'},
                                 {"version", no_argument, nullptr, 'V'},
                                 {nullptr, 0, nullptr, 0}};
const char kEncodeShort[] = ":o:t:l:m:s:d:v:M0j:hV";

const option kColourOptions[] = {{"foreground", required_argument, nullptr, kForeground},
                                 {"background", required_argument, nullptr, kBackground},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
const char kColourShort[] = ":h";

// Applies an option of how the picture is drawn; returns an error message,
// or "" when it fits.
std::string ApplyPictureOption(int option, std::string_view text, PictureSettings& settings) {
    switch (option) {
        case 'l':
            if (auto level = ParseLevel(text)) {
                settings.level = *level;
                return "";
            }
            return "unknown level '" + std::string(text) + "' (L, M, Q or H)";
        case 'm':
            if (auto margin = ParseNumber(text, 0)) {
                settings.margin = *margin;
                return "";
            }
            return "the margin must be a whole number of modules, 0 or more";
        case 's':
            if (auto size = ParseNumber(text, 1)) {
                settings.moduleSize = *size;
                return "";
            }
            return "the size must be a whole number of pixels, 1 or more";
        case 'd':
            if (auto dpi = ParseNumber(text, 1); dpi && *dpi <= 100000) {
                settings.dpi = uint32_t(*dpi);
                return "";
            }
            return "the resolution must be 1 to 100000 dots per inch";
        case 'v':
            if (auto version = ParseNumber(text, 0); version && *version <= 40) {
                settings.minVersion = *version;
                return "";
            }
            return "the version must be 1 to 40 (1 to 4 with -M), or 0 for the smallest";
        case 'M':
            settings.micro = true;
            return "";
        case kForeground:
        case kBackground:
            // The picture's own colours, for this picture only.
            if (auto colour = ParseRgbaColour(std::string(text))) {
                (option == kForeground ? settings.foreground : settings.background) = colour;
                return "";
            }
            return "a colour is written RRGGBB or RRGGBBAA in hexadecimal, not '" +
                   std::string(text) + "'";
        default:
            return "";
    }
}

// Applies one parsed option; returns an error message, or "" when it fits.
std::string Apply(int option, const char* value, Options& options, bool& batchOnly) {
    const std::string_view text = value != nullptr ? value : "";
    switch (option) {
        case 'o':
            options.output = value;
            return "";
        case 't':
            options.format = ParseFormat(text);
            return options.format
                       ? ""
                       : "unknown type '" + std::string(text) + "' (png, bmp, svg, eps or utf8)";
        case kBatch:
            options.command = Options::Command::Batch;
            options.batchList = text;
            return "";
        case '0':
            options.nulSeparated = batchOnly = true;
            return "";
        case 'j':
            if (auto jobs = ParseNumber(text, 1); jobs && *jobs <= 1024) {
                options.jobs = unsigned(*jobs);
                batchOnly = true;
                return "";
            }
            return "the number of jobs must be 1 to 1024";
        case kForeground:
        case kBackground:
            if (options.command != Options::Command::Colours) {
                return ApplyPictureOption(option, text, options.settings);
            }
            if (auto colour = ParseColour(std::string(text))) {
                (option == kForeground ? options.foreground : options.background) = colour;
                return "";
            }
            return "a colour is written RRGGBB in hexadecimal, not '" + std::string(text) + "'";
        case 'h':
            options.command = Options::Command::Help;
            return "";
        case 'V':
            options.command = Options::Command::Version;
            return "";
        default:
            return ApplyPictureOption(option, text, options.settings);
    }
}

// What a Micro QR symbol cannot have; "" when the settings fit one.
std::string MicroConflict(const PictureSettings& settings) {
    if (!settings.micro) {
        return "";
    }
    if (settings.level == 3) {
        return "a Micro QR code has no level H (use L, M or Q)";
    }
    return settings.minVersion > 4 ? "a Micro QR code has versions 1 to 4 (M1 to M4)" : "";
}

// The checks that need every option known: Micro QR conflicts, the
// operands each command takes, and the options that work in a batch only.
std::variant<Options, UsageError> CheckOperands(Options options, bool batchOnly,
                                                const std::vector<std::string>& operands) {
    if (options.command == Options::Command::Help || options.command == Options::Command::Version) {
        return options;
    }
    if (std::string error = MicroConflict(options.settings); !error.empty()) {
        return UsageError{error};
    }
    if (options.command == Options::Command::Colours) {
        if (!operands.empty()) {
            return UsageError{"the colours command takes no text"};
        }
        return options;
    }
    if (options.command == Options::Command::Batch) {
        if (!operands.empty()) {
            return UsageError{"--batch takes its texts from the list, not from the command line"};
        }
        if (!options.output || *options.output == "-") {
            return UsageError{"--batch needs -o with a file name pattern such as 'out/{n}.png'"};
        }
        return options;
    }
    if (batchOnly) {
        return UsageError{"-0 and -j work only with --batch"};
    }
    if (operands.size() > 1) {
        return UsageError{"one text only (quote a text that holds spaces)"};
    }
    if (!operands.empty()) {
        options.text = operands[0];
    }
    return options;
}

}  // namespace

char LevelLetter(int32_t level) {
    return level >= 0 && level <= 3 ? "LMQH"[level] : '?';
}

std::optional<COLORREF> ParseColour(const std::string& text) {
    const std::optional<uint32_t> rgb = HexDigits(text, 6);
    return rgb ? std::optional(COLORREF(0xFF000000u | FromRgb(*rgb))) : std::nullopt;
}

std::optional<uint32_t> ParseRgbaColour(const std::string& text) {
    if (const std::optional<uint32_t> rgba = HexDigits(text, 8)) {
        return (*rgba & 0xFF) << 24 | FromRgb(*rgba >> 8);
    }
    return ParseColour(text);
}

std::string FormatColour(COLORREF colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", unsigned(colour & 0xFF),
                  unsigned(colour >> 8 & 0xFF), unsigned(colour >> 16 & 0xFF));
    return text;
}

std::variant<Options, UsageError> ParseArguments(int argc, char** argv) {
    Options options;
    const bool colours =
        argc > 1 && (std::strcmp(argv[1], "colours") == 0 || std::strcmp(argv[1], "colors") == 0);
    if (colours) {
        options.command = Options::Command::Colours;
        --argc;
        ++argv;
    }
    const option* longOptions = colours ? kColourOptions : kEncodeOptions;
    const char* shortOptions = colours ? kColourShort : kEncodeShort;
    bool batchOnly = false;
    opterr = 0;
    optind = 0;  // not 1: getopt_long then also forgets where an earlier parse stopped
    for (int option;
         (option = getopt_long(argc, argv, shortOptions, longOptions, nullptr)) != -1;) {
        if (option == ':') {
            return UsageError{"option " + std::string(argv[optind - 1]) + " needs a value"};
        }
        if (option == '?') {
            const std::string name =
                optopt != 0 ? std::string("-") + char(optopt) : std::string(argv[optind - 1]);
            return UsageError{"unknown option " + name};
        }
        if (std::string error = Apply(option, optarg, options, batchOnly); !error.empty()) {
            return UsageError{error};
        }
    }
    return CheckOperands(std::move(options), batchOnly,
                         std::vector<std::string>(argv + optind, argv + argc));
}

}  // namespace qrtool
