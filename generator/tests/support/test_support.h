// Helpers of the window's tests: the window on an application folder of its
// own, its message boxes answered, other programs run while the window keeps
// serving the X server, and QR codes read back by zxing-cpp.
#pragma once

#include <QByteArray>
#include <QComboBox>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "frmQR.h"
#include "limited_text_box.h"

// Runs `action`, clicking `answer` (or closing the box when it has no such
// button) in every message box that opens meanwhile. Returns each box as
// "objectName|title|text".
QStringList Answering(QMessageBox::StandardButton answer, const std::function<void()>& action);

// The window on a fresh application folder: `subfolder` is made inside a
// temporary folder and passed on as given (spaces, Cyrillic letters and a
// trailing "/" kept); the library is written out there as the program does
// at start-up; the window is shown and active. A fixture that cannot be set
// up ends the test program, since every check after it would be meaningless.
class WindowFixture {
  public:
    explicit WindowFixture(const QString& subfolder = QStringLiteral("app"));

    frmQR& window() { return *window_; }
    QString bitmapFile() const { return folder_ + QStringLiteral("/QR.bmp"); }
    QString libraryFile() const;
    template <class Widget>
    Widget* child(const QString& name) const {
        return window_->findChild<Widget*>(name);
    }
    LimitedTextBox* txt() const { return child<LimitedTextBox>(QStringLiteral("txt")); }
    QComboBox* combo() const { return child<QComboBox>(QStringLiteral("Combo1")); }
    // cmd_<index>: 0 Create, 1 Open, 2 Print, 3 Copy, 4 Exit.
    QPushButton* cmd(int index) const { return child<QPushButton>(QString("cmd_%1").arg(index)); }
    // Opt_<index>: the levels L, M, Q, H.
    QRadioButton* opt(int index) const { return child<QRadioButton>(QString("Opt_%1").arg(index)); }
    // The picture the preview shows, as 32-bit RGB.
    QImage preview() const;

    // Types `text` one key at a time (QTest::keyClicks aborts on non-ASCII
    // characters in Qt 6.4).
    void Type(const QString& text);
    // Puts `text` on the clipboard and pastes it with Ctrl+V.
    void Paste(const QString& text);
    // Puts `text` in the text box (unchecked, as the program would), clicks
    // the level button and size item, presses Create. Returns the message
    // boxes it opened (see Answering).
    QStringList Create(const QString& text, int level = 2, int sizeIndex = 0);
    // Clicks cmd_<index>; returns the message boxes it opened (see Answering).
    QStringList Click(int index, QMessageBox::StandardButton answer = QMessageBox::Ok);

  private:
    QTemporaryDir root_;
    QString folder_;
    std::unique_ptr<frmQR> window_;
};

struct ProcessResult {
    bool ok = false;  // ended by itself in time with exit code 0
    QByteArray out;
    QString error;  // the command and how it failed, for test messages
};

// Runs `program` while the event loop keeps turning, so that this program
// meanwhile serves the X server (another program's clipboard read is
// answered from here). Killed after 30 s. GUI thread.
ProcessResult RunProcess(const QString& program, const QStringList& arguments);

// Reads the X clipboard in the format `target` as another program does (xclip).
ProcessResult ReadClipboard(const QString& target);

struct DecodedSymbol {
    QByteArray bytes;  // the symbol's raw content
    QString level;     // "L", "M", "Q" or "H"; empty when no code was found
};

// Reads a QR code picture with zxing-cpp, a decoder nobody here wrote.
DecodedSymbol Decode(const QImage& picture);
