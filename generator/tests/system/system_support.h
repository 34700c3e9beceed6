// Helpers of the system tests: the real window on an application folder of
// its own, other programs run while the window keeps serving the X server,
// message boxes caught, and the window's visible state for comparisons.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include "frmQR.h"
#include "limited_text_box.h"

// True when an X server is named by DISPLAY; then the tests run on it (the
// xcb platform) whatever QT_QPA_PLATFORM says. Otherwise says why on stderr:
// without its X server a system test fails, it never passes or skips.
// Call before the QApplication is made.
bool UseXServer();

// main() of a system test: the real X server, a QApplication, the test class.
#define QRGENERATOR_SYSTEM_TEST_MAIN(TestClass) \
    int main(int argc, char** argv) {           \
        if (!UseXServer()) {                    \
            return 1;                           \
        }                                       \
        QApplication application(argc, argv);   \
        TestClass test;                         \
        return QTest::qExec(&test, argc, argv); \
    }

struct ProcessResult {
    QString command;        // the program and its arguments, for messages
    bool finished = false;  // started, and ended by itself in time
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    bool ok() const { return finished && exitCode == 0; }
    // For failure messages: the command, how it ended, what it wrote.
    QString describe() const;
};

// Runs `program` with `arguments` and keeps this program's event loop turning
// until it ends, so that the window meanwhile answers the X server (a
// clipboard read by another program is served from here). A program that
// has not ended after `timeoutMs` is killed. GUI thread.
ProcessResult RunProcess(const QString& program, const QStringList& arguments,
                         int timeoutMs = 30000);

// Records every message box that becomes the active modal window while this
// object lives, and closes it with its default answer (Escape), so that a
// command that reports something never blocks a test.
class MessageBoxCatcher : public QObject {
  public:
    struct Seen {
        QString objectName;
        QString title;
        QString text;
    };

    MessageBoxCatcher();
    const QList<Seen>& seen() const { return seen_; }
    // "objectName: text" of each box, for failure messages.
    QString describe() const;

  private:
    void Poll();

    QTimer timer_;
    QList<Seen> seen_;
};

// The window of the program on a fresh application folder named
// `folderName` inside a temporary folder: the library is written out there
// as the program does at start-up, and the window is shown on the X server.
// The window closes (running its shutdown) and the folder is removed when
// the object goes. Check error() before use.
class SystemWindow {
  public:
    explicit SystemWindow(const QString& folderName = QStringLiteral("app"));
    ~SystemWindow();

    // Empty when the window is up; otherwise why not.
    const QString& error() const { return error_; }

    frmQR& window() { return *window_; }
    const QString& folder() const { return folder_; }
    QString bitmapFile() const;

    LimitedTextBox* txt() const;
    QPushButton* cmd(int index) const;
    QComboBox* combo() const;
    QLabel* image() const;

    // Puts `text` in the text box, picks the size item `sizeItem` and
    // presses Create. Returns an empty string when a new picture was made and
    // shown, else what went wrong.
    QString Create(const QString& text, const QString& sizeItem = QStringLiteral("1"));

    // Presses command button `index` (1 Open, 2 Print, 3 Copy).
    void Click(int index);

    // The picture the preview holds, as 32-bit RGB.
    QImage Preview() const;

    // What a user sees of the window and its state, one line per item; two
    // equal snapshots mean nothing visible changed (the preview is compared
    // by its pixels).
    QStringList Snapshot() const;

  private:
    QTemporaryDir root_;
    QString folder_;
    QString error_;
    std::unique_ptr<frmQR> window_;
};
