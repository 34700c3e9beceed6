// layout_check: prints the running window "QR генератор" in pixels, one
// "caption<TAB>left top width height" line each (UTF-8): its client area
// under the window's caption, then every control in it (a drop-down list's
// caption is its shown item). wine_gui.sh compares them with the Qt form.
#include <windows.h>

#include <cstdio>

namespace {

constexpr wchar_t kTitle[] = L"QR генератор";

void Print(const wchar_t* caption, const RECT& r) {
    char utf8[512];
    WideCharToMultiByte(CP_UTF8, 0, caption, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::printf("%s\t%ld %ld %ld %ld\n", utf8, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

BOOL CALLBACK Visit(HWND child, LPARAM window) {
    if (GetParent(child) != reinterpret_cast<HWND>(window)) {
        return TRUE;  // a drop-down list's own edit or list part
    }
    wchar_t className[64] = {}, caption[256] = {};
    GetClassNameW(child, className, 64);
    GetWindowTextW(child, caption, 256);
    if (lstrcmpiW(className, L"ComboBox") == 0) {
        const LRESULT shown = SendMessageW(child, CB_GETCURSEL, 0, 0);
        if (shown == CB_ERR || SendMessageW(child, CB_GETLBTEXTLEN, shown, 0) >= 256 ||
            SendMessageW(child, CB_GETLBTEXT, shown, reinterpret_cast<LPARAM>(caption)) == CB_ERR) {
            caption[0] = L'\0';
        }
    }
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(window), reinterpret_cast<POINT*>(&rect), 2);
    Print(caption, rect);
    return TRUE;
}

}  // namespace

int wmain() {
    const HWND window = FindWindowW(nullptr, kTitle);
    if (window == nullptr) {
        return 1;
    }
    RECT client{};
    GetClientRect(window, &client);
    Print(kTitle, client);
    EnumChildWindows(window, Visit, reinterpret_cast<LPARAM>(window));
    return 0;
}
