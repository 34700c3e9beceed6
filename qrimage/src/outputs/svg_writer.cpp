#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "outputs/vector_writers.h"
#include "render/module_runs.h"

namespace qrimage {
namespace {

// Appends the pieces in order. (Built up by appending rather than with
// operator+, which also keeps GCC 12's -Wrestrict false alarm at -O3 away.)
void Append(std::string& out, std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) {
        out.append(piece);
    }
}

// fill="#rrggbb", with a fill-opacity when the colour is not opaque.
std::string Fill(uint32_t colour, Opacity opacity) {
    char fill[64];
    int length = std::snprintf(fill, sizeof fill, "fill=\"#%02x%02x%02x\"", Red(colour),
                               Green(colour), Blue(colour));
    if (opacity == Opacity::FromColour && Alpha(colour) != 255) {
        length += std::snprintf(fill + length, sizeof fill - std::size_t(length),
                                " fill-opacity=\"%.4g\"", Alpha(colour) / 255.0);
    }
    return fill;
}

// The picture's edge: pixels, or inches at its resolution.
std::string Length(const Picture& picture) {
    if (picture.dotsPerInch == 0) {
        return std::to_string(picture.geometry.side);
    }
    char value[32];
    std::snprintf(value, sizeof value, "%.6gin",
                  double(picture.geometry.side) / picture.dotsPerInch);
    return value;
}

}  // namespace

bool WriteSvg(const Picture& picture, ByteSink& sink) {
    const int32_t margin = picture.geometry.quietPixels / picture.geometry.moduleSize;
    const std::string modules = std::to_string(picture.symbol.Width() + 2 * margin);
    const std::string length = Length(picture);
    std::string svg;
    Append(svg, {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"",
                 length, "\" height=\"", length, "\" viewBox=\"0 0 ", modules, " ", modules,
                 "\" shape-rendering=\"crispEdges\">\n"});
    const uint32_t background = picture.colours.background;
    if (picture.opacity == Opacity::Ignored || Alpha(background) != 0) {
        Append(svg, {"<rect width=\"", modules, "\" height=\"", modules, "\" ",
                     Fill(background, picture.opacity), "/>\n"});
    }
    // One path: a renderer fills it in one pass, so edges shared by two runs
    // cancel instead of leaving a faint seam where two shapes meet.
    Append(svg, {"<path ", Fill(picture.colours.foreground, picture.opacity), " d=\""});
    ForEachDarkRun(picture.symbol, [&](int32_t row, int32_t first, int32_t length) {
        const std::string run = std::to_string(length);
        Append(svg, {"M", std::to_string(margin + first), " ", std::to_string(margin + row), "h",
                     run, "v1h-", run, "z"});
    });
    svg.append("\"/>\n</svg>\n");
    return sink.Write(svg.data(), svg.size());
}

}  // namespace qrimage
