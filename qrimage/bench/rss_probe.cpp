// One picture, then exit: scripts/run-bench runs this under /usr/bin/time -v
// and compares the peak resident memory of writing a picture with that of
// the same process doing nothing.
// Usage: qrimage_rss_probe none|bmp|png|pngmem FOLDER   (case v40H_m25)
#include <qrimage.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench_cases.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s none|bmp|png|pngmem FOLDER\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const qrbench::PictureCase* picture = nullptr;
    for (const auto& candidate : qrbench::PictureCases()) {
        if (candidate.name == "v40H_m25") {
            picture = &candidate;
        }
    }
    const std::u16string text = picture->wideText();
    const std::string path = std::string(argv[2]) + "/probe." + (mode == "bmp" ? "bmp" : "png");
    const std::u16string widePath(path.begin(), path.end());
    // Every mode touches the library, so that loading it and attaching the
    // colours count in the baseline too.
    const COLORREF foreground = GetForegroundColor();
    if (mode == "bmp") {
        GenerateBMPW(widePath.c_str(), text.c_str(), picture->margin, qrbench::kModuleSize,
                     picture->level);
    } else if (mode == "png") {
        GeneratePNGW(widePath.c_str(), text.c_str(), picture->margin, qrbench::kModuleSize,
                     picture->level);
    } else if (mode == "pngmem") {
        uint32_t size = 0;
        unsigned char* buffer = nullptr;
        GetPNGW(text.c_str(), picture->margin, qrbench::kModuleSize, picture->level, &size,
                &buffer);
        DestroyBuffer(buffer);
    } else if (mode != "none") {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    std::printf("%s %08x\n", mode.c_str(), foreground);
    return 0;
}
