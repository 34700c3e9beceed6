/* A C program that uses the installed library the way an outside caller
 * would: the header, pkg-config and the exports, nothing internal. */
#include <qrimage.h>
#include <stdio.h>
#include <string.h>

static int failures;

#define CHECK(condition)                                                               \
    do {                                                                               \
        if (!(condition)) {                                                            \
            fprintf(stderr, "consumer: line %d: %s is false\n", __LINE__, #condition); \
            ++failures;                                                                \
        }                                                                              \
    } while (0)

/* Pixel (x, y) of a top-down 32-bit bitmap. */
static const unsigned char* PixelAt(const BITMAP* info, int x, int y) {
    return (const unsigned char*)info->bmBits + (size_t)y * (size_t)info->bmWidthBytes +
           (size_t)x * 4;
}

int main(void) {
    /* A freshly installed file starts from the default colours. */
    CHECK(GetForegroundColor() == 0xFF000000u);
    CHECK(GetBackgroundColor() == 0xFFFFFFFFu);
    SetForegroundColor(0x00FF0000u); /* blue */
    CHECK(GetForegroundColor() == 0x00FF0000u);

    HBITMAP bitmap = GetHBitmapA("abc", 1, 5, 2);
    CHECK(bitmap != NULL);
    BITMAP info;
    memset(&info, 0, sizeof info);
    CHECK(GetObjectW(bitmap, (int32_t)sizeof info, &info) == (int32_t)sizeof info);
    CHECK(info.bmWidth == 115 && info.bmHeight == 115);
    CHECK(info.bmWidthBytes == 460 && info.bmPlanes == 1 && info.bmBitsPixel == 32);
    if (info.bmBits != NULL) {
        CHECK(memcmp(PixelAt(&info, 0, 0), "\xFF\xFF\xFF\xFF", 4) == 0); /* quiet zone */
        CHECK(memcmp(PixelAt(&info, 5, 5), "\xFF\x00\x00\xFF", 4) == 0); /* finder, blue */
    }
    DIBSECTION section;
    CHECK(GetObjectW(bitmap, (int32_t)sizeof section, &section) == (int32_t)sizeof section);
    CHECK(section.dsBmih.biHeight == -115);
    CHECK(DeleteObject(bitmap) != 0);
    CHECK(DeleteObject(bitmap) == 0);

    const qrimage_char16 wide[] = {'a', 'b', 'c', 0};
    bitmap = GetHBitmapW(wide, 0, 1, 0);
    CHECK(bitmap != NULL);
    CHECK(GetObjectW(bitmap, (int32_t)sizeof info, &info) == (int32_t)sizeof info);
    CHECK(info.bmWidth == 21);
    CHECK(DeleteObject(bitmap) != 0);

    CHECK(GetHBitmapA("abc", 1, 5, 4) == NULL);
    SetForegroundColor(0xFF000000u);
    SetBackgroundColor(0x12345678u);
    CHECK(GetBackgroundColor() == 0x12345678u);

    if (failures == 0) {
        puts("consumer: all checks passed");
    }
    return failures == 0 ? 0 : 1;
}
