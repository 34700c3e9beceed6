#include "frm_qr.h"

#include <commctrl.h>

#include <string_view>

#include "app_folder_rule.h"
#include "create_decisions.h"
#include "message_boxes.h"
#include "message_texts.h"
#include "resource_ids.h"
#include "text_rules.h"
#include "utf.h"
#include "window_layout.h"

namespace {

constexpr char kBitmapFileName[] = "QR.bmp";
constexpr int32_t kModuleSize = 5;
constexpr int kTwipsPerInch = 1440;
constexpr COLORREF kSizeListTextColour = RGB(0, 0, 255);

// wchar_t is 16 bits on Windows: the shared rules read the text in place.
std::u16string_view U16(std::wstring_view text) {
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

std::wstring Wide(std::u16string_view text) {
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

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

FrmQr::FrmQr(HINSTANCE instance, std::string applicationFolder, std::wstring libraryPath)
    : applicationFolder_(std::move(applicationFolder)), library_(std::move(libraryPath)) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
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
    Load();
}

FrmQr::~FrmQr() {
    if (window_ != nullptr && IsWindow(window_)) {
        DestroyWindow(window_);
    }
    if (boldFont_ != nullptr) {
        DeleteObject(boldFont_);
    }
}

void FrmQr::BuildControls() {
    const HFONT windowFont = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                0, 0, 0, 0, window_, nullptr, nullptr, nullptr);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    int sizeListHeight = 0;
    for (const ControlLayout& control : WindowControls()) {
        // A drop-down list's own height covers its open list as well; the
        // closed field is sized below.
        const int listRoom = control.id == IDC_COMBO1 ? 200 : 0;
        if (control.id == IDC_COMBO1) {
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
        SendMessageW(Item(IDC_COMBO1), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    // The closed list's field takes the height of the table (the field's
    // frame around the item differs between systems, so measure and adjust).
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT field{};
        GetWindowRect(Item(IDC_COMBO1), &field);
        const int excess = int(field.bottom - field.top) - sizeListHeight;
        const LRESULT itemHeight = SendMessageW(Item(IDC_COMBO1), CB_GETITEMHEIGHT, WPARAM(-1), 0);
        if (excess == 0 || itemHeight - excess < 1) {
            break;
        }
        SendMessageW(Item(IDC_COMBO1), CB_SETITEMHEIGHT, WPARAM(-1), itemHeight - excess);
    }
    SendMessageW(Item(IDC_TXT), EM_LIMITTEXT, 1000, 0);
    CheckRadioButton(window_, IDC_OPT_0, IDC_OPT_0 + 3, IDC_OPT_0 + 2);
    SendMessageW(window_, DM_SETDEFID, IDC_CMD_CREATE, 0);
}

void FrmQr::SizeAndCentre() {
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

void FrmQr::Load() {
    CurrentLevel = 2;
    SendMessageW(Item(IDC_COMBO1), CB_SETCURSEL, 0, 0);
    txt_Change();
}

int FrmQr::Run() {
    if (window_ == nullptr) {
        return 1;
    }
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(Item(IDC_TXT));
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

bool FrmQr::PreTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN ||
        (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
        return false;
    }
    // Esc asks the Exit question wherever the focus is (a multi-line edit
    // box would otherwise close the window without asking).
    if (message.wParam == VK_ESCAPE) {
        cmd_Click(kExit);
        return true;
    }
    // Enter in the text box presses Create while it is usable; Ctrl+Enter
    // types a line break.
    if (message.wParam == VK_RETURN && message.hwnd == Item(IDC_TXT) &&
        GetKeyState(VK_CONTROL) >= 0) {
        if (IsWindowEnabled(Item(IDC_CMD_CREATE))) {
            cmd_Click(kCreate);
        }
        return true;
    }
    return false;
}

INT_PTR CALLBACK FrmQr::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<FrmQr*>(lParam)->window_ = window;
        return FALSE;  // the focus is set when the window is shown
    }
    auto* self = reinterpret_cast<FrmQr*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR FrmQr::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDC_TXT && code == EN_CHANGE) {
                txt_Change();
            } else if (id >= IDC_OPT_0 && id <= IDC_OPT_0 + 3 && code == BN_CLICKED) {
                Opt_Click(id - IDC_OPT_0);
            } else if (id >= IDC_CMD_CREATE && id <= IDC_CMD_COPY && code == BN_CLICKED) {
                cmd_Click(id - IDC_CMD_CREATE);
            } else if (id == IDC_CMD_EXIT && code == BN_CLICKED) {
                cmd_Click(kExit);
            }
            return TRUE;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID != IDC_IMAGE1) {
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
            GetComboBoxInfo(Item(IDC_COMBO1), &combo);
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
            Unload();
            DestroyWindow(window_);
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

std::wstring FrmQr::SizeListText() const {
    // The selected item itself: a drop-down list's window text is not
    // reliable everywhere.
    const LRESULT selected = SendMessageW(Item(IDC_COMBO1), CB_GETCURSEL, 0, 0);
    const LRESULT length = SendMessageW(Item(IDC_COMBO1), CB_GETLBTEXTLEN, WPARAM(selected), 0);
    if (selected == CB_ERR || length == CB_ERR) {
        return {};
    }
    std::wstring text(std::size_t(length) + 1, L'\0');
    text.resize(std::size_t(SendMessageW(Item(IDC_COMBO1), CB_GETLBTEXT, WPARAM(selected),
                                         reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring FrmQr::TextOf(int id) const {
    std::wstring text(std::size_t(GetWindowTextLengthW(Item(id))) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(Item(id), text.data(), int(text.size()))));
    return text;
}

void FrmQr::Opt_Click(int Index) {
    CurrentLevel = Index;
}

void FrmQr::txt_Change() {
    // Each flag is read back from Create, so they always agree. A group box
    // holds no windows of its own here, so the level buttons follow it.
    EnableWindow(Item(IDC_CMD_CREATE), CreateEnabledFor(U16(TextOf(IDC_TXT))));
    const BOOL usable = IsWindowEnabled(Item(IDC_CMD_CREATE));
    EnableWindow(Item(IDC_FRAME1), usable);
    for (int level = 0; level <= 3; ++level) {
        EnableWindow(Item(IDC_OPT_0 + level), usable);
    }
    EnableWindow(Item(IDC_COMBO1), IsWindowEnabled(Item(IDC_CMD_CREATE)));
}

void FrmQr::Create() {
    const std::string path = JoinPath(applicationFolder_, kBitmapFileName);
    BitmapPath = WideFromUtf8(path);
    const std::wstring typed = TextOf(IDC_TXT);
    EncodedText = Wide(TrimSpaces(U16(typed)));
    const int32_t margin = MarginFromSizeText(U16(SizeListText()));
    if (CurrentLevel < 0 || CurrentLevel > 3) {
        return;  // the level buttons give 0 to 3 only
    }
    if (const std::string reason = library_.Bind(); !reason.empty()) {
        Warn(window_, Texts::LibraryNotLoaded(Utf8FromWide(library_.path()), reason));
        return;
    }
    // The library reports a failure through the thread's last error only;
    // the file's identity tells whether a new picture is there.
    const FileIdentity before = IdentityOf(path);
    const DWORD reason = library_.GenerateBMPW(BitmapPath.c_str(), EncodedText.c_str(), margin,
                                               kModuleSize, CurrentLevel);
    const FileIdentity after = IdentityOf(path);
    // On a failure text, level, size, preview and buttons stay as they were.
    switch (JudgeCreate(reason == ERROR_INSUFFICIENT_BUFFER, before, after)) {
        case CreateResult::TextDoesNotFit:
            Warn(window_, Texts::TextDoesNotFit());
            return;
        case CreateResult::FileNotWritten:
            Warn(window_, Texts::FileNotWritten(path, reason != 0 ? SystemReason(reason) : ""));
            return;
        case CreateResult::Written:
            break;
    }
    written_ = after;
    std::optional<PackedDib> picture = PackedDib::Load(BitmapPath);
    if (!picture) {
        Warn(window_, Texts::PictureNotRead(path));
        return;
    }
    EnableWindow(Item(IDC_CMD_OPEN), TRUE);
    EnableWindow(Item(IDC_CMD_PRINT), TRUE);
    EnableWindow(Item(IDC_CMD_COPY), TRUE);
    picture_ = std::move(picture);
    InvalidateRect(Item(IDC_IMAGE1), nullptr, TRUE);
    SetWindowTextW(Item(IDC_TXT), L"");  // runs the text-change rule: Create is disabled again
    SetFocus(Item(IDC_TXT));
}

void FrmQr::Open() {
    // The shell's association for .bmp; what it does is its own business.
    ShellExecuteW(window_, L"open", BitmapPath.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void FrmQr::Print() {
    DWORD size = 0;
    GetDefaultPrinterW(nullptr, &size);
    std::wstring printer(size, L'\0');
    if (size == 0 || !GetDefaultPrinterW(printer.data(), &size)) {
        Warn(window_, Texts::NoPrinter());
        return;
    }
    printer.resize(size - 1);
    HDC dc = CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, nullptr);
    const DOCINFOW document{sizeof document, L"QR.bmp", nullptr, nullptr, 0};
    bool printed = dc != nullptr && StartDocW(dc, &document) > 0;
    if (printed) {
        // The preview's side in twips, at the printer's own resolution, from
        // the printable area's origin.
        const int preview = Pixels(1935) * kTwipsPerPixel;
        const RECT target{0, 0, MulDiv(preview, GetDeviceCaps(dc, LOGPIXELSX), kTwipsPerInch),
                          MulDiv(preview, GetDeviceCaps(dc, LOGPIXELSY), kTwipsPerInch)};
        printed = StartPage(dc) > 0 && picture_->StretchTo(dc, target) && EndPage(dc) > 0;
        printed = printed ? EndDoc(dc) > 0 : (AbortDoc(dc), false);
    }
    if (dc != nullptr) {
        DeleteDC(dc);
    }
    if (!printed) {
        Warn(window_, Texts::PrintFailed(Utf8FromWide(printer)));
    }
}

void FrmQr::Copy() {
    bool copied = false;
    if (picture_ && OpenClipboard(window_)) {
        copied = EmptyClipboard() && picture_->PutOnOpenClipboard();
        CloseClipboard();
    }
    copied_ = copied_ || copied;
    if (!copied) {
        Warn(window_, Texts::ClipboardUnavailable());
    }
}

void FrmQr::Exit() {
    if (AskToClose(window_)) {
        Unload();
        DestroyWindow(window_);
    }
}

void FrmQr::Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    // Only the picture this program put there; what the user copied in other
    // programs since stays.
    if (copied_ && GetClipboardOwner() == window_ && OpenClipboard(window_)) {
        EmptyClipboard();
        CloseClipboard();
    }
    // Only the picture this window wrote, and only while it is still that
    // file: another window's picture or the user's own file stays.
    const std::string path = Utf8FromWide(BitmapPath);
    if (!TrimSpaces(U16(BitmapPath)).empty() && ShouldDeleteOnClose(written_, IdentityOf(path)) &&
        !DeleteFileW(BitmapPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        Warn(window_, Texts::FileNotDeleted(path, SystemReason(GetLastError())));
    }
}
