/* The public header in a C program on Windows, before <windows.h>: it takes
 * the platform's types, so nothing is defined twice. (test_windows.cpp
 * includes it after <windows.h>.) */
#include <qrimage.h>
#include <windows.h>

HBITMAP header_check(const wchar_t* text, COLORREF colour) {
    SetForegroundColor(colour);
    return GetHBitmapW(text, 1, 5, 2);
}
