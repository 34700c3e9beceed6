// The program's only window in its Win32 face: the controls of
// window_layout.h on the dialog frame of qrgenerator.rc, driven by the shared
// rules of logic/.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "command_buttons.h"
#include "file_identity.h"
#include "library_binding.h"
#include "packed_dib.h"

class FrmQr : private CommandButtons {
  public:
    // Builds the window (hidden) and runs Load. `applicationFolder` (UTF-8)
    // holds the library copy at `libraryPath` and receives QR.bmp. GUI thread.
    FrmQr(HINSTANCE instance, std::string applicationFolder, std::wstring libraryPath);
    ~FrmQr();
    FrmQr(const FrmQr&) = delete;
    FrmQr& operator=(const FrmQr&) = delete;

    // Shows the window centred on the work area and runs its messages until
    // it is closed. Returns the program's exit status (0). GUI thread.
    int Run();

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's own handling of Enter and Esc before the dialog manager's.
    bool PreTranslate(const MSG& message);

    void BuildControls();
    void SizeAndCentre();
    void Load();
    void Opt_Click(int Index);
    void txt_Change();
    void Unload();

    // The commands of the `cmd` buttons.
    void Create() override;
    void Open() override;
    void Print() override;
    void Copy() override;
    void Exit() override;

    HWND Item(int id) const { return GetDlgItem(window_, id); }
    std::wstring TextOf(int id) const;
    std::wstring SizeListText() const;

    int32_t CurrentLevel = 0;
    std::wstring BitmapPath;
    std::wstring EncodedText;

    const std::string applicationFolder_;
    LibraryBinding library_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    HFONT boldFont_ = nullptr;
    // The file as this window's last successful Create left it; closing
    // deletes QR.bmp only while it is still that file.
    std::optional<FileIdentity> written_;
    std::optional<PackedDib> picture_;  // what the preview shows
    bool copied_ = false;
    bool unloaded_ = false;
};
