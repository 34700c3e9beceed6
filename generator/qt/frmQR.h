// The program's only window in its Qt face: the controls of frmQR.ui, their
// events forwarded to the presenter, its operations done with Qt.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QShortcut>
#include <QWidget>

#include <memory>
#include <string>

#include "limited_text_box.h"
#include "operating_system.h"
#include "window_presenter.h"

namespace Ui {
class frmQR;
}

class frmQR : public QWidget, private WindowFace {
    Q_OBJECT

  public:
    // `applicationFolder` receives QR.bmp and holds the library copy at
    // `libraryPath` (the file system's bytes). Builds the window from
    // frmQR.ui and runs the presenter's OnLoad; the window is not shown yet. GUI thread.
    frmQR(const std::string& applicationFolder, const std::string& libraryPath,
          QWidget* parent = nullptr);
    ~frmQR() override;

    // A warning box titled "QR" with one OK button and the warning's object
    // name (tests and desktop tools tell the boxes apart by it). Modal; GUI
    // thread.
    static void ShowWarning(QWidget* parent, const Warning& warning);

  protected:
    // Enter presses the default button, Create, while it is enabled; a
    // focused command button takes Enter itself.
    void keyPressEvent(QKeyEvent* event) override;
    // Closing by any means runs the presenter's OnUnload; it never asks.
    void closeEvent(QCloseEvent* event) override;
    // The first showing centres the window, frame included, on its screen.
    void showEvent(QShowEvent* event) override;

  private:
    QAbstractButton* CommandButton(Command command) const;

    std::u16string TypedText() const override;
    std::u16string SizeText() const override;
    void SelectLevelAndSize(int32_t level, int sizeIndex) override;
    void Enable(Control control, bool enabled) override;
    bool ShowPicture(const std::string& path) override;
    void ClearAndFocusText() override;
    void Warn(const Warning& warning) override;
    bool AskToClose() override;
    void Close() override;
    bool CopyPicture() override;
    void EmptyClipboardIfOurs() override;
    // The clipboard still holds the picture of the last CopyPicture: not
    // when another program, or this one with other data, has taken it since.
    bool PictureStillOnClipboard() const;
    Printed PrintPicture(const char* documentName, int sideTwips, std::string& printer) override;
    void OpenInViewer(const std::string& path) override;

    std::unique_ptr<Ui::frmQR> ui_;
    // The form's controls by role; frmQR.ui names them txt, Frame1, Combo1
    // and Image1.
    LimitedTextBox* textBox_ = nullptr;
    QGroupBox* levelChoice_ = nullptr;
    QComboBox* sizeList_ = nullptr;
    QLabel* preview_ = nullptr;
    // The form's control arrays: ids are the buttons' indexes (Command, level).
    QButtonGroup commandButtons_;
    QButtonGroup levelButtons_;
    QShortcut escape_;
    OperatingSystem system_;
    WindowPresenter presenter_;
    QPointer<QMimeData> offered_;  // what CopyPicture put on the clipboard
    bool centred_ = false;
};
