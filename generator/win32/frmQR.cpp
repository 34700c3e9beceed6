#include "frmQR.h"

#include <commctrl.h>

#include "message_texts.h"
#include "resource_ids.h"
#include "system_function.h"
#include "utf.h"
#include "window_layout.h"

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr COLORREF kSizeListTextColour = RGB(0, 0, 255);

// "MS Sans Serif" 8.25 pt bold with the Cyrillic character set, at the
// screen's resolution.
HFONT CreateBoldFont() {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(825, GetDeviceCaps(screen, LOGPIXELSY), 7200);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

}  // namespace

frmQR::frmQR(HINSTANCE instance, const std::string& applicationFolder,
             const std::string& libraryPath)
    : system_(libraryPath), presenter_(*this, system_, applicationFolder) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    static const auto initCommonControls =
        SystemFunction<decltype(InitCommonControlsEx)>(L"comctl32.dll", "InitCommonControlsEx");
    if (initCommonControls != nullptr) {
        initCommonControls(&controls);
    }
    boldFont_ = CreateBoldFont();
    window_ = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_FRMQR), nullptr, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) {
        return;
    }
    SendMessageW(window_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QRGENERATOR),
                                                     IMAGE_ICON, 32, 32, 0)));
    SendMessageW(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QRGENERATOR),
                                                     IMAGE_ICON, 16, 16, 0)));
    BuildControls();
    SizeAndCentre();
    presenter_.OnLoad();
}

frmQR::~frmQR() {
    if (window_ != nullptr && IsWindow(window_)) {
        DestroyWindow(window_);
    }
    if (boldFont_ != nullptr) {
        DeleteObject(boldFont_);
    }
}

void frmQR::BuildControls() {
    const HFONT windowFont = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                0, 0, 0, 0, window_, nullptr, nullptr, nullptr);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    int sizeListHeight = 0;
    for (const ControlLayout& control : WindowControls()) {
        // A drop-down list's own height covers its open list as well; the
        // closed field is sized below.
        const int listRoom = control.id == IDC_SIZE_LIST ? 200 : 0;
        if (control.id == IDC_SIZE_LIST) {
            sizeListHeight = Pixels(control.height);
        }
        HWND child = CreateWindowExW(
            0, control.className, control.caption, WS_CHILD | WS_VISIBLE | control.style,
            Pixels(control.left), Pixels(control.top), Pixels(control.width),
            Pixels(control.height) + listRoom, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
        SendMessageW(child, WM_SETFONT,
                     reinterpret_cast<WPARAM>(control.bold ? boldFont_ : windowFont), FALSE);
        if (control.tooltip != nullptr && tooltips_ != nullptr) {
            TOOLINFOW tool{};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = window_;
            tool.uId = reinterpret_cast<UINT_PTR>(child);
            tool.lpszText = const_cast<wchar_t*>(control.tooltip);
            SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    for (const wchar_t* item : SizeListItems()) {
        SendMessageW(Item(IDC_SIZE_LIST), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    // The closed list's field takes the height of the table (the field's
    // frame around the item differs between systems, so measure and adjust).
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT field{};
        GetWindowRect(Item(IDC_SIZE_LIST), &field);
        const int excess = int(field.bottom - field.top) - sizeListHeight;
        const LRESULT itemHeight =
            SendMessageW(Item(IDC_SIZE_LIST), CB_GETITEMHEIGHT, WPARAM(-1), 0);
        if (excess == 0 || itemHeight - excess < 1) {
            break;
        }
        SendMessageW(Item(IDC_SIZE_LIST), CB_SETITEMHEIGHT, WPARAM(-1), itemHeight - excess);
    }
    SendMessageW(Item(IDC_TEXT_BOX), EM_LIMITTEXT, 1000, 0);
    SendMessageW(window_, DM_SETDEFID, IDC_CMD_CREATE, 0);
}

void frmQR::SizeAndCentre() {
    RECT frame{0, 0, Pixels(kClientWidthTwips), Pixels(kClientHeightTwips)};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int frmQR::Run() {
    if (window_ == nullptr) {
        return 1;
    }
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(Item(IDC_TEXT_BOX));
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(message) || IsDialogMessageW(window_, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}

bool frmQR::PreTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN ||
        (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
        return false;
    }
    // Esc asks the Exit question wherever the focus is (a multi-line edit
    // box would otherwise close the window without asking).
    if (message.wParam == VK_ESCAPE) {
        presenter_.OnCommand(Command::Exit);
        return true;
    }
    // Enter in the text box presses Create while it is usable; Ctrl+Enter
    // types a line break.
    if (message.wParam == VK_RETURN && message.hwnd == Item(IDC_TEXT_BOX) &&
        GetKeyState(VK_CONTROL) >= 0) {
        if (IsWindowEnabled(Item(IDC_CMD_CREATE))) {
            presenter_.OnCommand(Command::Create);
        }
        return true;
    }
    return false;
}

INT_PTR CALLBACK frmQR::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<frmQR*>(lParam)->window_ = window;
        return FALSE;  // the focus is set when the window is shown
    }
    auto* self = reinterpret_cast<frmQR*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR frmQR::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDC_TEXT_BOX && code == EN_CHANGE) {
                presenter_.OnTextChanged();
            } else if (id >= IDC_LEVEL_0 && id <= IDC_LEVEL_0 + 3 && code == BN_CLICKED) {
                presenter_.OnLevelChosen(id - IDC_LEVEL_0);
            } else if (id >= IDC_CMD_CREATE && id <= IDC_CMD_COPY && code == BN_CLICKED) {
                presenter_.OnCommand(Command(id - IDC_CMD_CREATE));
            } else if (id == IDC_CMD_EXIT && code == BN_CLICKED) {
                presenter_.OnCommand(Command::Exit);
            }
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID != IDC_PREVIEW) {
                return FALSE;
            }
            FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
            if (picture_) {
                picture_->StretchTo(item->hDC, item->rcItem);
            }
            return TRUE;
        }
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT: {
            // The size list's text is pure blue, in its field and its list.
            COMBOBOXINFO combo{sizeof combo, {}, {}, 0, nullptr, nullptr, nullptr};
            GetComboBoxInfo(Item(IDC_SIZE_LIST), &combo);
            const auto control = reinterpret_cast<HWND>(lParam);
            if (control != combo.hwndCombo && control != combo.hwndList) {
                return FALSE;
            }
            SetTextColor(reinterpret_cast<HDC>(wParam), kSizeListTextColour);
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        }
        case WM_CLOSE:
            // The close box and Alt+F4 close at once, without the question.
            presenter_.OnUnload();
            DestroyWindow(window_);
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

std::u16string frmQR::TypedText() const {
    std::u16string text(std::size_t(GetWindowTextLengthW(Item(IDC_TEXT_BOX))) + 1, u'\0');
    text.resize(std::size_t(GetWindowTextW(
        Item(IDC_TEXT_BOX), reinterpret_cast<wchar_t*>(text.data()), int(text.size()))));
    return text;
}

std::u16string frmQR::SizeText() const {
    // The selected item itself: a drop-down list's window text is not
    // reliable everywhere.
    const LRESULT selected = SendMessageW(Item(IDC_SIZE_LIST), CB_GETCURSEL, 0, 0);
    const LRESULT length = SendMessageW(Item(IDC_SIZE_LIST), CB_GETLBTEXTLEN, WPARAM(selected), 0);
    if (selected == CB_ERR || length == CB_ERR) {
        return {};
    }
    std::u16string text(std::size_t(length) + 1, u'\0');
    text.resize(std::size_t(SendMessageW(Item(IDC_SIZE_LIST), CB_GETLBTEXT, WPARAM(selected),
                                         reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

void frmQR::SelectLevelAndSize(int32_t level, int sizeIndex) {
    CheckRadioButton(window_, IDC_LEVEL_0, IDC_LEVEL_0 + 3, IDC_LEVEL_0 + level);
    SendMessageW(Item(IDC_SIZE_LIST), CB_SETCURSEL, WPARAM(sizeIndex), 0);
}

void frmQR::Enable(Control control, bool enabled) {
    // In the order of WindowFace::Control.
    constexpr int kIds[] = {IDC_CMD_CREATE, IDC_CMD_OPEN,    IDC_CMD_PRINT,
                            IDC_CMD_COPY,   IDC_LEVEL_FRAME, IDC_SIZE_LIST};
    EnableWindow(Item(kIds[int(control)]), enabled);
    // A group box holds no windows of its own here: the level buttons follow it.
    for (int level = 0; control == Control::LevelChoice && level <= 3; ++level) {
        EnableWindow(Item(IDC_LEVEL_0 + level), enabled);
    }
}

bool frmQR::ShowPicture(const std::string& path) {
    std::optional<PackedDib> picture = PackedDib::Load(WideFromUtf8(path));
    if (!picture) {
        return false;
    }
    picture_ = std::move(picture);
    InvalidateRect(Item(IDC_PREVIEW), nullptr, TRUE);
    return true;
}

void frmQR::ClearAndFocusText() {
    SetWindowTextW(Item(IDC_TEXT_BOX), L"");
    SetFocus(Item(IDC_TEXT_BOX));
}

void frmQR::ShowWarning(HWND owner, const Warning& warning) {
    MessageBoxW(owner, WideFromUtf8(warning.text).c_str(), WideFromUtf8(Texts::kTitle).c_str(),
                MB_OK | MB_ICONWARNING);
}

bool frmQR::AskToClose() {
    return MessageBoxW(window_, WideFromUtf8(Texts::AskToClose()).c_str(),
                       WideFromUtf8(Texts::kTitle).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

bool frmQR::CopyPicture() {
    bool copied = false;
    if (picture_ && OpenClipboard(window_)) {
        copied = EmptyClipboard() && picture_->PutOnOpenClipboard();
        CloseClipboard();
    }
    return copied;
}

void frmQR::EmptyClipboardIfOurs() {
    if (GetClipboardOwner() == window_ && OpenClipboard(window_)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

WindowFace::Printed frmQR::PrintPicture(const char* documentName, int sideTwips,
                                        std::string& printer) {
    static const auto defaultPrinter =
        SystemFunction<decltype(GetDefaultPrinterW)>(L"winspool.drv", "GetDefaultPrinterW");
    DWORD size = 0;
    if (defaultPrinter != nullptr) {
        defaultPrinter(nullptr, &size);
    }
    std::wstring name(size, L'\0');
    if (size == 0 || !defaultPrinter(name.data(), &size)) {
        return Printed::NoPrinter;
    }
    name.resize(size - 1);
    printer = Utf8FromWide(name);
    HDC dc = CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr);
    const std::wstring document = WideFromUtf8(documentName);
    const DOCINFOW info{sizeof info, document.c_str(), nullptr, nullptr, 0};
    bool printed = dc != nullptr && StartDocW(dc, &info) > 0;
    if (printed) {
        // The side at the printer's own resolution, from the printable area's origin.
        const RECT target{0, 0, MulDiv(sideTwips, GetDeviceCaps(dc, LOGPIXELSX), kTwipsPerInch),
                          MulDiv(sideTwips, GetDeviceCaps(dc, LOGPIXELSY), kTwipsPerInch)};
        printed = StartPage(dc) > 0 && picture_->StretchTo(dc, target) && EndPage(dc) > 0;
        printed = printed ? EndDoc(dc) > 0 : (AbortDoc(dc), false);
    }
    if (dc != nullptr) {
        DeleteDC(dc);
    }
    return printed ? Printed::Yes : Printed::Failed;
}

void frmQR::OpenInViewer(const std::string& path) {
    // The shell's association for .bmp.
    ShellExecuteW(window_, L"open", WideFromUtf8(path).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}
