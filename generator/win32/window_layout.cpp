#include "window_layout.h"

#include "resource_ids.h"
#include "window_presenter.h"

namespace {

// The level buttons stand inside their frame, 600 twips from its left edge.
constexpr int kFrameLeft = 120;
constexpr int kFrameTop = 2760;

constexpr DWORD kButton = WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;

// The level frame, the size label and the preview take no focus and come
// first, so that they lie beneath the controls they hold and stay out of the
// tab order.
constexpr ControlLayout kControls[] = {
    {IDC_LEVEL_FRAME, L"BUTTON", L"Качество:", BS_GROUPBOX | WS_DISABLED, kFrameLeft, kFrameTop,
     1815, 1455, true, nullptr},
    {IDC_SIZE_LABEL, L"STATIC", L"Размер:", SS_CENTER, 2040, 2760, 855, 255, true, nullptr},
    {IDC_PREVIEW, L"STATIC", L"", SS_OWNERDRAW | WS_BORDER, 1313, 120, kPreviewSideTwips,
     kPreviewSideTwips, false, nullptr},
    {IDC_TEXT_BOX, L"EDIT", L"", ES_MULTILINE | ES_AUTOVSCROLL | WS_TABSTOP | WS_GROUP | WS_BORDER,
     120, 2160, 4215, 525, false, L" Поле ввода данных "},
    {IDC_LEVEL_0 + 0, L"BUTTON", L"Низкое", BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP,
     kFrameLeft + 600, kFrameTop + 360, 1095, 255, false, L" Низкое качество "},
    {IDC_LEVEL_0 + 1, L"BUTTON", L"Среднее", BS_AUTORADIOBUTTON, kFrameLeft + 600, kFrameTop + 600,
     1095, 255, false, L" Среднее качество "},
    {IDC_LEVEL_0 + 2, L"BUTTON", L"Стандарт", BS_AUTORADIOBUTTON, kFrameLeft + 600, kFrameTop + 840,
     1095, 255, false, L" Стандартное качество "},
    {IDC_LEVEL_0 + 3, L"BUTTON", L"Высокое", BS_AUTORADIOBUTTON, kFrameLeft + 600, kFrameTop + 1080,
     1095, 255, false, L" Высокое качество "},
    {IDC_SIZE_LIST, L"COMBOBOX", L"",
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP | WS_DISABLED, 2040, 3000, 855, 315,
     true, L" Относительный размер изображения  "},
    {IDC_CMD_CREATE, L"BUTTON", L"Создать", kButton | BS_DEFPUSHBUTTON | WS_DISABLED, 2040, 3360,
     1125, 395, true, L" Создать QR- код из указанных выше данных "},
    {IDC_CMD_PRINT, L"BUTTON", L"Печать", kButton | WS_DISABLED, 2040, 3840, 1125, 395, true,
     L" Выполнить печать QR- код на принтере "},
    {IDC_CMD_OPEN, L"BUTTON", L"Открыть", kButton | WS_DISABLED, 3240, 2880, 1125, 395, false,
     L" Открыть файл изображения QR- кода "},
    {IDC_CMD_COPY, L"BUTTON", L"Копировать", kButton | WS_DISABLED, 3240, 3360, 1125, 395, false,
     L" Копировать QR- код в буфер обмена "},
    {IDC_CMD_EXIT, L"BUTTON", L"Выход", kButton, 3240, 3840, 1125, 395, false,
     L" Выход из программы "},
};

constexpr const wchar_t* kSizeItems[] = {L"1", L"5", L"10", L"15", L"20", L"25"};

}  // namespace

std::span<const ControlLayout> WindowControls() {
    return kControls;
}

std::span<const wchar_t* const> SizeListItems() {
    return kSizeItems;
}
