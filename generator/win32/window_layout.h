// The controls of the window frmQR in one table: class, caption, style,
// place and size in twips, font and tooltip. Controls are created in the
// table's order, which is also the tab order of those that take the focus.
#pragma once

#include <windows.h>

#include <span>

// The window's design unit: twips, 15 to a pixel (96 dpi).
inline constexpr int kTwipsPerPixel = 15;
// The client area in twips.
inline constexpr int kClientWidthTwips = 4455;
inline constexpr int kClientHeightTwips = 4335;

struct ControlLayout {
    int id;
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;                   // beyond WS_CHILD | WS_VISIBLE
    int left, top, width, height;  // twips, relative to the client area
    bool bold;                     // "MS Sans Serif" 8.25 pt bold, Cyrillic
    const wchar_t* tooltip;        // nullptr: none
};

// Every control of the window, in creation order. Static data, any thread.
std::span<const ControlLayout> WindowControls();

// The items of the size list, in order. Static data, any thread.
std::span<const wchar_t* const> SizeListItems();

// Pixels for a length in twips. Pure function, any thread.
constexpr int Pixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
