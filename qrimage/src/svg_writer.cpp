#include <cstdio>
#include <string>

#include "module_runs.h"
#include "vector_writers.h"

namespace qrimage {
namespace {

// "#rrggbb" of a colour word.
std::string HexColour(uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", Red(colour), Green(colour), Blue(colour));
    return text;
}

// fill="#rrggbb", with a fill-opacity when the colour is not opaque.
std::string Fill(uint32_t colour, Opacity opacity) {
    std::string fill = "fill=\"" + HexColour(colour) + "\"";
    if (opacity == Opacity::FromColour && Alpha(colour) != 255) {
        char value[16];
        std::snprintf(value, sizeof value, "%.4g", Alpha(colour) / 255.0);
        fill += std::string(" fill-opacity=\"") + value + "\"";
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
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
        length + "\" height=\"" + length + "\" viewBox=\"0 0 " + modules + " " + modules +
        "\" shape-rendering=\"crispEdges\">\n";
    const uint32_t background = picture.colours.background;
    if (picture.opacity == Opacity::Ignored || Alpha(background) != 0) {
        svg += "<rect width=\"" + modules + "\" height=\"" + modules + "\" " +
               Fill(background, picture.opacity) + "/>\n";
    }
    // One path: a renderer fills it in one pass, so edges shared by two runs
    // cancel instead of leaving a faint seam where two shapes meet.
    svg += "<path " + Fill(picture.colours.foreground, picture.opacity) + " d=\"";
    ForEachDarkRun(picture.symbol, [&](int32_t row, int32_t first, int32_t length) {
        const std::string run = std::to_string(length);
        svg += "M" + std::to_string(margin + first) + " " + std::to_string(margin + row) + "h" +
               run + "v1h-" + run + "z";
    });
    svg += "\"/>\n</svg>\n";
    return sink.Write(svg.data(), svg.size());
}

}  // namespace qrimage
