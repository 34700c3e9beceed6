#include <cmath>
#include <cstdio>
#include <string>

#include "outputs/vector_writers.h"
#include "render/module_runs.h"

namespace qrimage {
namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string SetColour(uint32_t colour) {
    return Number(Red(colour) / 255.0) + " " + Number(Green(colour) / 255.0) + " " +
           Number(Blue(colour) / 255.0) + " setrgbcolor\n";
}

}  // namespace

bool WriteEps(const Picture& picture, ByteSink& sink) {
    const PictureGeometry& geometry = picture.geometry;
    const int32_t margin = geometry.quietPixels / geometry.moduleSize;
    const int32_t modules = picture.symbol.Width() + 2 * margin;
    // A pixel is a point unless the picture has its own resolution.
    const double pointsPerModule =
        geometry.moduleSize * (picture.dotsPerInch == 0 ? 1.0 : 72.0 / picture.dotsPerInch);
    const double edge = modules * pointsPerModule;
    std::string eps = "%!PS-Adobe-3.0 EPSF-3.0\n%%Creator: qrimage\n%%BoundingBox: 0 0 " +
                      Number(std::ceil(edge)) + " " + Number(std::ceil(edge)) +
                      "\n%%HiResBoundingBox: 0 0 " + Number(edge) + " " + Number(edge) +
                      "\n%%LanguageLevel: 2\n%%Pages: 1\n%%EndComments\n"
                      "save\n/R { 1 rectfill } bind def\n" +
                      Number(pointsPerModule) + " dup scale\n";
    const uint32_t background = picture.colours.background;
    if (picture.opacity == Opacity::Ignored || Alpha(background) != 0) {
        eps += SetColour(background) + "0 0 " + std::to_string(modules) + " dup rectfill\n";
    }
    eps += SetColour(picture.colours.foreground);
    // PostScript counts rows from the bottom: symbol row r is the band from
    // modules - margin - r - 1 up.
    ForEachDarkRun(picture.symbol, [&](int32_t row, int32_t first, int32_t length) {
        eps += std::to_string(margin + first) + " " + std::to_string(modules - margin - row - 1) +
               " " + std::to_string(length) + " R\n";
    });
    eps += "restore\nshowpage\n%%EOF\n";
    return sink.Write(eps.data(), eps.size());
}

}  // namespace qrimage
