// layout_check: finds the running window "QR генератор", walks its children
// and compares each control's class, caption and place in the client area
// with the window's design (twips at 15 a pixel), within 1 pixel. Prints
// every mismatch; exit status 0 when all agree, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "resource_ids.h"

namespace {

struct Expected {
    const wchar_t* className;
    const wchar_t* caption;        // nullptr: not compared (the edit box, the list)
    int left, top, width, height;  // twips in the client area
};

// The design, written out here on its own (not read from the program).
const std::map<int, Expected> kDesign = {
    {IDC_TXT, {L"Edit", nullptr, 120, 2160, 4215, 525}},
    {IDC_OPT_0 + 0, {L"Button", L"Низкое", 720, 3120, 1095, 255}},
    {IDC_OPT_0 + 1, {L"Button", L"Среднее", 720, 3360, 1095, 255}},
    {IDC_OPT_0 + 2, {L"Button", L"Стандарт", 720, 3600, 1095, 255}},
    {IDC_OPT_0 + 3, {L"Button", L"Высокое", 720, 3840, 1095, 255}},
    {IDC_COMBO1, {L"ComboBox", L"1", 2040, 3000, 855, 315}},
    {IDC_CMD_CREATE, {L"Button", L"Создать", 2040, 3360, 1125, 395}},
    {IDC_CMD_PRINT, {L"Button", L"Печать", 2040, 3840, 1125, 395}},
    {IDC_CMD_OPEN, {L"Button", L"Открыть", 3240, 2880, 1125, 395}},
    {IDC_CMD_COPY, {L"Button", L"Копировать", 3240, 3360, 1125, 395}},
    {IDC_CMD_EXIT, {L"Button", L"Выход", 3240, 3840, 1125, 395}},
    {IDC_FRAME1, {L"Button", L"Качество:", 120, 2760, 1815, 1455}},
    {IDC_LABEL1, {L"Static", L"Размер:", 2040, 2760, 855, 255}},
    {IDC_IMAGE1, {L"Static", L"", 1313, 120, 1935, 1935}},
};

struct Walk {
    HWND window;
    std::map<int, bool> seen;
    int failures = 0;
};

void Fail(Walk& walk, int id, const char* what, const std::wstring& got) {
    std::fprintf(stdout, "control %d: %s (got \"%ls\")\n", id, what, got.c_str());
    ++walk.failures;
}

bool Near(int pixels, int twips) {
    return std::abs(pixels * 15 - twips) <= 15;
}

BOOL CALLBACK Visit(HWND child, LPARAM data) {
    auto& walk = *reinterpret_cast<Walk*>(data);
    if (GetParent(child) != walk.window) {
        return TRUE;  // the list's own edit or list part
    }
    const int id = GetDlgCtrlID(child);
    const auto found = kDesign.find(id);
    if (found == kDesign.end()) {
        Fail(walk, id, "not in the design", L"");
        return TRUE;
    }
    const Expected& expected = found->second;
    walk.seen[id] = true;
    wchar_t className[64] = {}, caption[256] = {};
    GetClassNameW(child, className, 64);
    GetWindowTextW(child, caption, 256);
    if (id == IDC_COMBO1) {  // the shown item of the drop-down list
        const LRESULT selected = SendMessageW(child, CB_GETCURSEL, 0, 0);
        if (selected == CB_ERR || SendMessageW(child, CB_GETLBTEXTLEN, selected, 0) >= 256 ||
            SendMessageW(child, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(caption)) ==
                CB_ERR) {
            caption[0] = L'\0';
        }
    }
    if (lstrcmpiW(className, expected.className) != 0) {
        Fail(walk, id, "class", className);
    }
    if (expected.caption != nullptr && std::wstring(caption) != expected.caption) {
        Fail(walk, id, "caption", caption);
    }
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, walk.window, reinterpret_cast<POINT*>(&rect), 2);
    if (!Near(rect.left, expected.left) || !Near(rect.top, expected.top) ||
        !Near(rect.right - rect.left, expected.width) ||
        !Near(rect.bottom - rect.top, expected.height)) {
        Fail(walk, id, "place",
             std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L" " +
                 std::to_wstring(rect.right - rect.left) + L"x" +
                 std::to_wstring(rect.bottom - rect.top));
    }
    return TRUE;
}

}  // namespace

int wmain() {
    Walk walk{FindWindowW(nullptr, L"QR генератор"), {}, 0};
    if (walk.window == nullptr) {
        std::fprintf(stdout, "no window titled \"QR генератор\"\n");
        return 1;
    }
    RECT client{};
    GetClientRect(walk.window, &client);
    if (!Near(client.right, 4455) || !Near(client.bottom, 4335)) {
        Fail(walk, 0, "client area",
             std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom));
    }
    EnumChildWindows(walk.window, Visit, reinterpret_cast<LPARAM>(&walk));
    for (const auto& [id, expected] : kDesign) {
        if (!walk.seen[id]) {
            Fail(walk, id, "missing", expected.className);
        }
    }
    std::fprintf(stdout, "%d mismatches\n", walk.failures);
    return walk.failures == 0 ? 0 : 1;
}
