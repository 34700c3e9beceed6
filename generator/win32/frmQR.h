// The program's only window in its Win32 face: the controls of
// window_layout.h on the dialog frame of qrgenerator.rc, their events
// forwarded to the presenter, its operations done with the Win32 API.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "operating_system.h"
#include "packed_dib.h"
#include "window_presenter.h"

class frmQR : private WindowFace {
  public:
    // Builds the window (hidden) and runs the presenter's OnLoad. `applicationFolder` (UTF-8)
    // receives QR.bmp and holds the library copy at `libraryPath`. GUI thread.
    frmQR(HINSTANCE instance, const std::string& applicationFolder, const std::string& libraryPath);
    ~frmQR() override;
    frmQR(const frmQR&) = delete;
    frmQR& operator=(const frmQR&) = delete;

    // Shows the window centred on the work area and runs its messages until
    // it is closed. Returns the program's exit status (0). GUI thread.
    int Run();

    // A warning box titled "QR" with one OK button. Modal; GUI thread.
    static void ShowWarning(HWND owner, const Warning& warning);

  private:
    // The dialog and its messages.
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's own handling of Enter and Esc before the dialog manager's.
    bool PreTranslate(const MSG& message);
    void BuildControls();
    void SizeAndCentre();

    // The controls, found by their ids (resource_ids.h).
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    void Enable(Control control, bool enabled) override;
    void SelectLevelAndSize(int32_t level, int sizeIndex) override;
    std::u16string TypedText() const override;
    std::u16string SizeText() const override;
    void ClearAndFocusText() override;

    // The picture: drawn into the preview and on the printer's page, put on the
    // clipboard as CF_DIB, opened by the shell from its file.
    bool ShowPicture(const std::string& path) override;
    Printed PrintPicture(const char* documentName, int sideTwips, std::string& printer) override;
    bool CopyPicture() override;
    void EmptyClipboardIfOurs() override;
    void OpenInViewer(const std::string& path) override;

    // Message boxes, and closing through WM_CLOSE, which runs OnUnload.
    void Warn(const Warning& warning) override { ShowWarning(window_, warning); }
    bool AskToClose() override;
    void Close() override { SendMessageW(window_, WM_CLOSE, 0, 0); }

    OperatingSystem system_;
    WindowPresenter presenter_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    HFONT boldFont_ = nullptr;
    std::optional<PackedDib> picture_;  // what the preview shows
};
