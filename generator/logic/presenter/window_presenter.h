// The window frmQR without its toolkit and without the operating system: its
// state, its rules and the sequences its events run. A face (qt/ or win32/)
// builds the controls, forwards their events here and carries out the plain
// operations of WindowFace; files and the library are reached through
// SystemServices only.
//
// Names, everywhere in generator/: the form's own names (frmQR, cmd, Opt,
// txt, Combo1, Frame1, Label1, Image1) stay only where someone outside the
// code reads them: the window class frmQR and its title, the object names
// in frmQR.ui (and the members uic makes of them), the object names of the
// button groups and message boxes, the Win32 control identifiers' values.
// Every other C++ name says its role (createButton, levelChoice, OnCreate,
// Command::Print), in the project's style: types and functions PascalCase,
// variables camelCase, members camelCase_, constants kPascalCase. What a
// toolkit names for us (Qt's event handlers and property accessors, the
// Win32 callbacks) keeps the toolkit's names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "system_services.h"
#include "window_face.h"

// The picture's file name in the application folder, also the print job's name.
inline constexpr char kBitmapFileName[] = "QR.bmp";
// Every module of the picture is this many pixels square.
inline constexpr int32_t kModuleSize = 5;
// The level the window opens with: the third button, "Стандарт" (Q).
inline constexpr int32_t kDefaultLevel = 2;
// The preview's side, and the printed picture's, in twips (1440 an inch).
inline constexpr int kPreviewSideTwips = 1935;

// The command buttons, in the order of their indexes in the form's button
// group `cmd` (0 to 4).
enum class Command { Create, Open, Print, Copy, Exit };

// The window's state and what its events do with it. Not thread-safe: the
// window's thread only.
class WindowPresenter {
  public:
    // `face` and `system` outlive the presenter. `applicationFolder`
    // receives QR.bmp (UTF-8 on Windows, the file system's bytes elsewhere).
    // Nothing runs yet.
    WindowPresenter(WindowFace& face, SystemServices& system, std::string applicationFolder);

    // The window's events, on its thread.
    void OnLoad();
    // A command button was pressed; a value outside Command does nothing.
    void OnCommand(Command command);
    void OnLevelChosen(int32_t level);  // 0 (L) to 3 (H)
    void OnTextChanged();
    void OnUnload();  // the window closes, by any means; runs once

  private:
    void OnCreate();
    void OnOpen();
    void OnPrint();
    void OnCopy();
    void OnExit();

    WindowFace& face_;
    SystemServices& system_;
    const std::string picturePath_;  // QR.bmp in the application folder
    int32_t level_ = kDefaultLevel;  // 0 (L) to 3 (H), as the level buttons give it
    std::u16string encodedText_;     // the text of the last Create, trimmed of spaces
    // The file as this window's last successful Create left it; closing
    // deletes QR.bmp only while it is still that file.
    std::optional<FileIdentity> written_;
    bool pictureShown_ = false;  // Open, Print and Copy have a picture to work on
    bool copied_ = false;
    bool unloaded_ = false;
};
