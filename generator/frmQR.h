// The program's only window: a text, a level and a size in; a QR code picture
// out, previewed and handed on to the desktop, the printer or the clipboard.
#pragma once

#include <QButtonGroup>
#include <QShortcut>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

#include "clipboard_picture.h"
#include "file_identity.h"
#include "qrimage_binding.h"

namespace Ui {
class frmQR;
}

class frmQR : public QWidget {
    Q_OBJECT

  public:
    // `applicationFolder`: where the library file was written out and where
    // "QR.bmp" goes. Builds the window from frmQR.ui and runs Load; the
    // window is not shown yet.
    explicit frmQR(const QString& applicationFolder, QWidget* parent = nullptr);
    ~frmQR() override;

    // Read-only views of the window state, for tests and tools.
    int32_t currentLevel() const { return CurrentLevel; }
    const QString& bitmapPath() const { return BitmapPath; }
    const QString& encodedText() const { return EncodedText; }

  protected:
    // Enter presses the default button, Create, while it is enabled; a
    // focused command button takes Enter itself.
    void keyPressEvent(QKeyEvent* event) override;
    // Closing by any means runs Unload; it never asks.
    void closeEvent(QCloseEvent* event) override;
    // The first showing centres the window, frame included, on its screen.
    void showEvent(QShowEvent* event) override;

  private:
    // Indexes of the command buttons in the `cmd` group.
    enum CommandIndex { kCreate = 0, kOpen = 1, kPrint = 2, kCopy = 3, kExit = 4 };

    void Load();
    void Opt_Click(int Index);
    void txt_Change();
    void cmd_Click(int Index);
    void Create();
    void Open();
    void Print();
    void Copy();
    void Exit();
    void Unload();

    std::unique_ptr<Ui::frmQR> ui;
    QButtonGroup cmd;
    QButtonGroup Opt;
    QShortcut escape_;

    int32_t CurrentLevel = 0;
    QString BitmapPath;
    QString EncodedText;

    const QString applicationFolder_;
    QrImageLibrary library_;
    // The file as this window's last successful Create left it; closing
    // deletes QR.bmp only while it is still that file.
    std::optional<FileIdentity> written_;
    ClipboardPicture clipboard_;
    bool centred_ = false;
    bool unloaded_ = false;
};
