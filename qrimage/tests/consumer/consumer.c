/* A C program that uses the installed library as an outside caller would:
 * the header, pkg-config and the exports, nothing internal. */
#include <qrimage.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    const qrimage_char16 wide[] = {'a', 'b', 'c', 0};
    uint32_t size = 0;
    unsigned char* png = NULL;
    BITMAP info;
    memset(&info, 0, sizeof info);
    SetForegroundColor(0x00FF0000u); /* blue */
    HBITMAP bitmap = GetHBitmapA("abc", 1, 5, 2);
    GetObjectW(bitmap, (int32_t)sizeof info, &info);
    GetPNGW(wide, 1, 5, 2, &size, &png);
    /* 115 pixels a side; (5, 5) is the finder's corner: blue, green, red, 255. */
    int ok = GetBackgroundColor() == 0xFFFFFFFFu && info.bmWidth == 115 && info.bmBits &&
             memcmp((const char*)info.bmBits + 5 * 460 + 5 * 4, "\xFF\0\0\xFF", 4) == 0 &&
             DeleteObject(bitmap) != 0 && png != NULL && memcmp(png, "\x89PNG", 4) == 0;
    DestroyBuffer(png);
    /* The per-picture family: a record with its defaults, an SVG block. */
    QrImageOptions options = QRIMAGE_OPTIONS_INIT;
    unsigned char* svg = NULL;
    options.background = 0x00FFFFFFu; /* transparent */
    QrImageGetBlockA("abc", &options, QRIMAGE_SVG, &size, &svg);
    const int svgOk = svg != NULL && memcmp(svg, "<?xml", 5) == 0;
    DestroyBuffer(svg);
    ok = ok && svgOk;
    puts(ok ? "consumer: all checks passed" : "consumer: a check failed");
    return ok ? 0 : 1;
}
