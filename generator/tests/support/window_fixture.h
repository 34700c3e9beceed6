// A window of the program on a fresh application folder of its own, as the
// program sets it up: QRGENERATOR_APP_DIR points at a temporary folder, the
// library is written out there, and the window is shown and active.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QTemporaryDir>

#include <memory>

#include "frmQR.h"
#include "limited_text_box.h"

class WindowFixture {
  public:
    // `folderSuffix` is appended to the folder's path as given (e.g. "/"
    // to get a folder path that ends in a separator).
    explicit WindowFixture(const QString& folderSuffix = {});
    ~WindowFixture();

    frmQR& window() { return *window_; }
    QString folder() const { return folder_; }
    QString bitmapFile() const { return dir_.path() + QStringLiteral("/QR.bmp"); }
    QString libraryFile() const;

    LimitedTextBox* txt() const;
    QPushButton* cmd(int index) const;
    QRadioButton* opt(int index) const;
    QComboBox* combo() const;
    QGroupBox* frame() const;
    QLabel* image() const;

    // Types `text` into the text box one key at a time (QTest::keyClicks
    // aborts on non-ASCII characters in Qt 6.4).
    void Type(const QString& text);
    // Puts `text` on the clipboard and pastes it with Ctrl+V.
    void Paste(const QString& text);
    // Types `text`, picks level and size item, presses Create.
    void Create(const QString& text, int level, int sizeIndex);

  private:
    QTemporaryDir dir_;
    QString folder_;
    std::unique_ptr<frmQR> window_;
};
