// The window frmQR without its toolkit: its state, its rules and the
// sequences its events run. A face (qt/ or win32/) builds the controls,
// forwards their events here and carries out the plain operations of
// WindowFace with its toolkit.
//
// Names, everywhere in generator/: the window's own controls, events and
// state keep the form's names (frmQR, cmd, Opt, txt, Combo1, Frame1, Image1,
// Create, txt_Change, Unload, CurrentLevel, BitmapPath, EncodedText);
// everything else follows the project's style: types and functions
// PascalCase, variables camelCase, members camelCase_, constants kPascalCase.
// What a toolkit names for us (Qt's event handlers and property accessors,
// the Win32 callbacks) keeps the toolkit's names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "file_identity.h"
#include "library_binding.h"

// The picture's file name in the application folder, also the print job's name.
inline constexpr char kBitmapFileName[] = "QR.bmp";
// Every module of the picture is this many pixels square.
inline constexpr int32_t kModuleSize = 5;
// The level the window opens with: Opt(2), "Стандарт" (Q).
inline constexpr int32_t kDefaultLevel = 2;
// The preview's side, and the printed picture's, in twips (1440 an inch).
inline constexpr int kPreviewSideTwips = 1935;

// A message box's text and its object name (which tests and desktop tools see).
struct Warning {
    const char* name;
    std::string text;
};

// What the window does through its toolkit. Called on the window's thread.
class WindowFace {
  public:
    // The controls whose usable state the presenter sets: cmd(0) to cmd(3),
    // the level frame (with its Opt buttons) and the size list.
    enum class Control { cmd_0, cmd_1, cmd_2, cmd_3, Frame1, Combo1 };
    enum class Printed { Yes, NoPrinter, Failed };

    virtual ~WindowFace() = default;

    virtual std::u16string TypedText() const = 0;  // txt, line breaks as "\n"
    virtual std::u16string SizeText() const = 0;   // Combo1's chosen item
    virtual void SelectLevelAndSize(int32_t level, int sizeIndex) = 0;
    virtual void Enable(Control control, bool enabled) = 0;
    // Shows the picture file `path` in Image1; false, the preview unchanged,
    // when it cannot be read as a picture.
    virtual bool ShowPicture(const std::string& path) = 0;
    virtual void ClearAndFocusText() = 0;
    virtual void Warn(const Warning& warning) = 0;
    virtual bool AskToClose() = 0;  // "Закрыть программу?": true for Yes
    virtual void Close() = 0;       // closes the window; its closing runs Unload
    // Puts Image1's picture on the clipboard; false when it could not be taken.
    virtual bool CopyPicture() = 0;
    // Empties the clipboard while it still holds the picture this window put there.
    virtual void EmptyClipboardIfOurs() = 0;
    // Prints Image1's picture on the default printer, `sideTwips` a side,
    // as the job `documentName`; `printer` receives the printer's name.
    virtual Printed PrintPicture(const char* documentName, int sideTwips, std::string& printer) = 0;
    virtual void OpenInViewer(const std::string& path) = 0;  // the desktop's viewer
};

// The window's state and what its events do with it, through a face. Not
// thread-safe: the window's thread only.
class WindowPresenter {
  public:
    // Indexes of the command buttons in `cmd`.
    enum Index { kCreate = 0, kOpen = 1, kPrint = 2, kCopy = 3, kExit = 4 };

    // `face` outlives the presenter. `applicationFolder` receives QR.bmp;
    // `libraryPath` is the library copy bound at the first Create (both
    // UTF-8 on Windows, the file system's bytes elsewhere). Nothing runs yet.
    WindowPresenter(WindowFace& face, std::string applicationFolder, std::string libraryPath);

    // The form's events. The window's thread.
    void Load();
    void cmd_Click(int Index);  // 0 Create, 1 Open, 2 Print, 3 Copy, 4 Exit; others nothing
    void Opt_Click(int Index);  // the level, 0 (L) to 3 (H)
    void txt_Change();
    void Unload();  // the window closes, by any means; runs once

    // The form's state: the events change it, faces and tests only read it.
    int32_t CurrentLevel = kDefaultLevel;  // 0 (L) to 3 (H)
    std::string BitmapPath;                // QR.bmp of the last Create; "" before
    std::u16string EncodedText;            // the text of the last Create, trimmed

  private:
    void Create();
    void Open();
    void Print();
    void Copy();
    void Exit();

    WindowFace& face_;
    const std::string applicationFolder_;
    LibraryBinding library_;
    // The file as this window's last successful Create left it; closing
    // deletes QR.bmp only while it is still that file.
    std::optional<FileIdentity> written_;
    bool pictureShown_ = false;  // Open, Print and Copy have a picture to work on
    bool copied_ = false;
    bool unloaded_ = false;
};

struct PreparedStart {
    std::string folder;              // the application folder
    std::string libraryPath;         // the library copy written into it
    std::optional<Warning> problem;  // why the program cannot start, if it cannot
};

// Before the window: chooses and makes the application folder
// (app_folder_rule.h) and writes the carried library `content` into it
// under `libraryName` (resource_file.h). Any thread, but reads the environment.
PreparedStart PrepareStart(std::string_view libraryName, std::string_view content);
