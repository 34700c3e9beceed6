// Helpers of the window's tests: the window on a folder of its own, its
// message boxes answered, other programs run, QR codes read by zxing-cpp.
#pragma once

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "frmQR.h"
#include "limited_text_box.h"

// Runs `action`, answering every message box that opens meanwhile with
// `answer` (or closing it); returns each box as "objectName|title|text".
QStringList Answering(QMessageBox::StandardButton answer, const std::function<void()>& action);

// For a test program run by root: from here on it runs as an ordinary user
// (uid and gid 4241, no groups), as the window program does, so that file
// permissions apply. It gets a mount namespace of its own with a private
// 16 MiB tmpfs over the temporary folder, which holds its HOME and
// XDG_RUNTIME_DIR too and vanishes with the program. Returns false (and
// changes nothing) when not run by root or when no mount namespace can be
// made. Call first in main().
bool BecomeOrdinaryUser();

// A 4 MiB tmpfs of that user's own, inside the private one: room for the
// library copy and a picture, small enough to fill in a moment.
QString SmallDiskFolder();

// The window, shown and active, on a fresh application folder `subfolder`
// (passed on as given: spaces, Cyrillic, a trailing "/", an absolute path)
// holding the library as start-up writes it, or on the folder of
// `sameFolderAs`. Ends the test program when it cannot be set up.
class WindowFixture {
  public:
    explicit WindowFixture(const QString& subfolder = QStringLiteral("app"),
                           const WindowFixture* sameFolderAs = nullptr);

    frmQR& window() { return *window_; }
    const QString& folder() const { return folder_; }
    QString bitmapFile() const { return folder_ + QStringLiteral("/QR.bmp"); }
    QString libraryFile() const;
    LimitedTextBox* txt() const { return window_->findChild<LimitedTextBox*>("txt"); }
    QComboBox* combo() const { return window_->findChild<QComboBox*>("Combo1"); }
    // cmd_<index>: 0 Create, 1 Open, 2 Print, 3 Copy, 4 Exit.
    QPushButton* cmd(int index) const {
        return window_->findChild<QPushButton*>(QString("cmd_%1").arg(index));
    }
    // The picture the preview shows, as 32-bit RGB.
    QImage preview() const;
    // Puts `text` in the box, clicks level Opt_<level> (L, M, Q, H), picks
    // size item `sizeIndex`, presses Create; returns its message boxes.
    QStringList Create(const QString& text, int level = 2, int sizeIndex = 0);
    // Clicks cmd_<index>; returns its message boxes (see Answering).
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

// Runs `program` (30 s at most) while the event loop keeps turning, so that
// this program meanwhile answers another program's clipboard read.
ProcessResult RunProcess(const QString& program, const QStringList& arguments);

struct DecodedSymbol {
    QByteArray bytes;  // the symbol's raw content
    QString level;     // "L", "M", "Q" or "H"; empty when no code was found
};

// Reads a QR code picture with zxing-cpp, a decoder nobody here wrote.
DecodedSymbol Decode(const QImage& picture);
