// What the window does through its toolkit: the face (qt/ or win32/) builds
// the controls and carries these plain operations out for the presenter.
#pragma once

#include <cstdint>
#include <string>

// A message box's text and its object name (which tests and desktop tools see).
struct Warning {
    const char* name;
    std::string text;
};

// Called on the window's thread only.
class WindowFace {
  public:
    // The controls whose usable state the presenter sets; the level choice
    // is the frame with its level buttons.
    enum class Control { CreateButton, OpenButton, PrintButton, CopyButton, LevelChoice, SizeList };
    enum class Printed { Yes, NoPrinter, Failed };

    virtual ~WindowFace() = default;

    virtual std::u16string TypedText() const = 0;  // the text box, line breaks as "\n"
    virtual std::u16string SizeText() const = 0;   // the size list's chosen item
    virtual void SelectLevelAndSize(int32_t level, int sizeIndex) = 0;
    virtual void Enable(Control control, bool enabled) = 0;
    // Shows the picture file `path` in the preview; false, the preview
    // unchanged, when it cannot be read as a picture.
    virtual bool ShowPicture(const std::string& path) = 0;
    virtual void ClearAndFocusText() = 0;
    virtual void Warn(const Warning& warning) = 0;
    virtual bool AskToClose() = 0;  // "Закрыть программу?": true for Yes
    virtual void Close() = 0;       // closes the window; its closing runs OnUnload
    // Puts the preview's picture on the clipboard; false when it could not
    // be taken.
    virtual bool CopyPicture() = 0;
    // Empties the clipboard while it still holds the picture this window put there.
    virtual void EmptyClipboardIfOurs() = 0;
    // Prints the preview's picture on the default printer, `sideTwips` a
    // side (1440 an inch), as the job `documentName`; `printer` receives the
    // printer's name.
    virtual Printed PrintPicture(const char* documentName, int sideTwips, std::string& printer) = 0;
    virtual void OpenInViewer(const std::string& path) = 0;  // the desktop's viewer
};
