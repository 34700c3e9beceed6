// The window: how it opens; the text box with its text-change rule and its
// 1000-unit limit; the Enter and Esc keys; Create from the user's side, read
// back from the file the library wrote with a decoder, and what it reports
// instead of showing a stale picture.
#include <QClipboard>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <QApplication>
#include <QDir>

#include <sys/stat.h>

#include <optional>

#include "file_identity.h"
#include "message_texts.h"
#include "support/test_support.h"

namespace {

// Whether this program runs as an ordinary user in a private tmpfs (see
// BecomeOrdinaryUser), where permissions apply and the disk can be filled.
bool ordinaryUser = false;

// One key at a time: QTest::keyClicks aborts on non-ASCII characters in Qt 6.4.
void Type(QWidget* box, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void input_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("text");  // what the box holds then
        QTest::addColumn<bool>("create");   // whether Create, the level and the size are usable
        const QString a999(999, u'a');
        const QString full(1000, u'ж');
        QTest::newRow("a space, then a letter") << QStringList{"t: ", "t:я"} << " я" << true;
        QTest::newRow("only a line break") << QStringList{"ctrl+enter"} << "\n" << true;
        QTest::newRow("deleting the last non-space")
            << QStringList{"t: a ", "backspace", "backspace"} << " " << false;
        QTest::newRow("typing past 1000")
            << QStringList{"p:" + a999, "t:жжж"} << a999 + "ж" << true;
        QTest::newRow("pasting 1500") << QStringList{"p:" + QString(1500, u'ж')} << full << true;
        QTest::newRow("a line break into a full box")
            << QStringList{"p:" + full, "ctrl+enter"} << full << true;
        QTest::newRow("a surrogate pair at 999 stays whole")
            << QStringList{"p:" + a999, "p:" + QString::fromUcs4(U"\U0001F600")} << a999 << true;
    }

    // Actions: typed keys ("t:..."), a paste ("p:..."), "ctrl+enter", "backspace".
    void input() {
        QFETCH(QStringList, actions);
        QFETCH(QString, text);
        QFETCH(bool, create);
        WindowFixture fixture;
        for (const QString& action : actions) {
            if (action.startsWith("t:")) {
                Type(fixture.txt(), action.mid(2));
            } else if (action.startsWith("p:")) {
                QGuiApplication::clipboard()->setText(action.mid(2));
                QTest::keyClick(fixture.txt(), Qt::Key_V, Qt::ControlModifier);
            } else {
                QTest::keyClick(fixture.txt(),
                                action == "backspace" ? Qt::Key_Backspace : Qt::Key_Return,
                                action == "ctrl+enter" ? Qt::ControlModifier : Qt::NoModifier);
            }
        }
        QCOMPARE(fixture.txt()->text(), text);
        QCOMPARE(fixture.cmd(0)->isEnabled(), create);
        QCOMPARE(fixture.window().findChild<QWidget*>("Frame1")->isEnabled(), create);
        QCOMPARE(fixture.combo()->isEnabled(), create);
    }

    void openingEnterAndEscape() {
        WindowFixture fixture;
        const QPoint centre = fixture.window().screen()->availableGeometry().center();
        QTRY_VERIFY((fixture.window().frameGeometry().center() - centre).manhattanLength() <= 1);
        // Only the text box (focused) and Exit are usable as the window opens.
        const QList<QWidget*> unusable = fixture.window().findChildren<QWidget*>(
            QRegularExpression("^(Opt_.|Combo1|cmd_[0-3])$"));
        QCOMPARE(unusable.size(), 9);
        for (const QWidget* widget : unusable) {
            QVERIFY2(!widget->isEnabledTo(&fixture.window()), qPrintable(widget->objectName()));
        }
        QVERIFY(fixture.txt()->hasFocus() && fixture.cmd(4)->isEnabled());
        QCOMPARE(fixture.window().currentLevel(), 2);
        QTest::keyClick(fixture.txt(), Qt::Key_Return);  // Create disabled: no line break either
        QCOMPARE(fixture.txt()->text(), QString());
        Type(fixture.txt(), "Enter");
        QTest::keyClick(fixture.txt(), Qt::Key_Return);
        QCOMPARE(Decode(fixture.preview()).bytes, QByteArray("Enter"));

        // Enter on the focused Exit presses Exit, not Create; Esc asks anywhere.
        Type(fixture.txt(), "more");
        for (QWidget* control : std::initializer_list<QWidget*>{fixture.cmd(4), fixture.txt(),
                                                                fixture.combo(), fixture.cmd(0)}) {
            // No window manager gives back the activation the answered box took.
            fixture.window().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&fixture.window()));
            control->setFocus();
            const QStringList boxes = Answering(QMessageBox::No, [&] {
                QTest::keyClick(control,
                                control == fixture.cmd(4) ? Qt::Key_Return : Qt::Key_Escape);
            });
            QVERIFY2(boxes == QStringList{"msgAskToClose|QR|Закрыть программу?"},
                     qPrintable(control->objectName()));
        }
        QCOMPARE(fixture.window().encodedText(), QString("Enter"));
        QVERIFY(fixture.window().isVisible());
        QCOMPARE(fixture.Click(4, QMessageBox::Yes).size(), 1);
        QVERIFY(!fixture.window().isVisible() && !QFile::exists(fixture.bitmapFile()));
    }

    // Every text fits a 21-module symbol; the size item's number is the
    // margin in modules. The folder ends in "/", passed on as is.
    void whatTheUserChoseReachesTheLibrary_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("encoded");  // trimmed of spaces only
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("sizeIndex");
        const auto row = [](const char* name, QString typed, QString encoded, int level, int size) {
            QTest::newRow(name) << typed << encoded << level << size;
        };
        row("L, 1", "   слово  ", "слово", 0, 0);
        row("M, 5, tab, inner spaces, line break", "\tone  two\n ", "\tone  two\n", 1, 1);
        row("Q, 10, no-break spaces", "\u00a0x\u00a0 ", "\u00a0x\u00a0", 2, 2);
        row("H, 25", "abc", "abc", 3, 5);
    }

    void whatTheUserChoseReachesTheLibrary() {
        QFETCH(QString, typed);
        QFETCH(QString, encoded);
        QFETCH(int, level);
        QFETCH(int, sizeIndex);
        WindowFixture fixture("app/");
        QCOMPARE(fixture.Create(typed, level, sizeIndex), QStringList());
        const int side = (21 + 2 * fixture.combo()->currentText().toInt()) * 5;
        const QImage written = QImage(fixture.bitmapFile()).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(written.size(), QSize(side, side));
        QCOMPARE(Decode(written).bytes, encoded.toUtf8());
        QCOMPARE(Decode(written).level, QString("LMQH").at(level));
        QCOMPARE(fixture.preview(), written);
        // The window after it: empty focused box, Create off, the rest on.
        QVERIFY(fixture.txt()->text().isEmpty() && fixture.txt()->hasFocus());
        QVERIFY(!fixture.cmd(0)->isEnabled() && !fixture.combo()->isEnabled());
        QVERIFY(fixture.cmd(1)->isEnabled() && fixture.cmd(3)->isEnabled());
    }

    // A Create that fails says why, in the window's words and the system's,
    // and keeps everything for another try: text, level, size, the earlier
    // picture in file and preview. With the cause gone, the same text works.
    void createFails_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("box");  // objectName|text, "%1" the path
        const QString notWritten = "msgFileNotWritten|Не удалось записать файл:\n%1\n\n";
        QTest::newRow("too long for H, earlier picture")
            << "too long, earlier" << 3
            << "msgTextDoesNotFit|" + QString::fromStdString(Texts::TextDoesNotFit());
        QTest::newRow("folder named QR.bmp") << "folder" << 1 << notWritten + "Is a directory";
        QTest::newRow("read-only QR.bmp") << "read-only" << 1 << notWritten + "Permission denied";
        QTest::newRow("full disk") << "full disk" << 1 << notWritten + "No space left on device";
        QTest::newRow("picture unreadable (umask 0777)")
            << "umask" << 1 << "msgPictureNotRead|Не удалось прочитать изображение:\n%1";
        // The reason is the loader's own wording; the retry below loads it.
        QTest::newRow("library gone")
            << "library" << 1 << "msgLibraryNotLoaded|Не удалось загрузить библиотеку:\n%2\n\n";
    }

    void createFails() {
        QFETCH(QString, cause);
        QFETCH(int, level);
        QFETCH(QString, box);
        if ((cause == "full disk" || cause == "read-only") && !ordinaryUser) {
            QSKIP("needs a private tmpfs and an ordinary user: run as root");
        }
        WindowFixture fixture(cause == "full disk" ? SmallDiskFolder() + "/app" : "app");
        const QString path = fixture.bitmapFile();
        if (cause.endsWith("earlier") || cause == "read-only" || cause == "full disk") {
            QCOMPARE(fixture.Create("earlier", 0, 0), QStringList());
        }
        QFile filler(fixture.folder() + "/filler");
        const mode_t umaskBefore = umask(022);
        if (cause == "folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (cause == "read-only") {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        } else if (cause == "full disk") {
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(64 * 1024, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        } else if (cause == "umask") {
            umask(0777);
        } else if (cause == "library") {
            QVERIFY(QFile::rename(fixture.libraryFile(), fixture.libraryFile() + ".away"));
        }
        const QImage previewBefore = fixture.preview();
        const FileIdentity fileBefore = IdentityOf(path.toStdString());
        const QString text = cause.startsWith("too long") ? QString(1000, u'ё') : "новый";
        const QStringList boxes = fixture.Create(text, level, 1);
        umask(umaskBefore);
        box.replace("%1", path).replace("%2", fixture.libraryFile()).replace("|", "|QR|");
        QVERIFY2(boxes.size() == 1 &&
                     (boxes[0] == box || (cause == "library" && boxes[0].startsWith(box))),
                 qPrintable(boxes.join('\n')));
        QCOMPARE(fixture.txt()->text(), text);
        QCOMPARE(fixture.window().currentLevel(), level);
        QCOMPARE(fixture.combo()->currentIndex(), 1);
        QVERIFY(fixture.cmd(0)->isEnabled());
        if (cause != "umask") {
            QCOMPARE(fixture.preview(), previewBefore);
            QCOMPARE(IdentityOf(path.toStdString()), fileBefore);
        }

        filler.remove();
        QFile::rename(fixture.libraryFile() + ".away", fixture.libraryFile());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QDir().rmdir(path);
        QCOMPARE(fixture.Create(QString(), cause.startsWith("too long") ? 1 : level, 1),
                 QStringList());
        QCOMPARE(Decode(fixture.preview()).bytes, text.toUtf8());
    }

    // Closing deletes QR.bmp only while it is still the picture this window
    // wrote (that it does then, the closing tests show): the user's file or
    // another window's picture stays, silently; one it cannot delete stays
    // with a message.
    void closingLeavesWhatItDidNotWrite_data() {
        QTest::addColumn<QString>("story");
        QTest::newRow("the user's file, our Create failed") << "user's, failed";
        QTest::newRow("rewritten by the user since") << "ours, rewritten";
        QTest::newRow("a second window wrote since") << "second window";
        QTest::newRow("ours, the folder made read-only: said so") << "read-only folder";
    }

    void closingLeavesWhatItDidNotWrite() {
        QFETCH(QString, story);
        if (story == "read-only folder" && !ordinaryUser) {
            QSKIP("root may delete anything: run as root, so the test runs as an ordinary user");
        }
        WindowFixture fixture;
        const auto write = [&](const QByteArray& content) {
            QFile file(fixture.bitmapFile());
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        if (story.startsWith("user's")) {
            QVERIFY(write("the user's own"));
            QCOMPARE(fixture.Create(QString(1000, u'ё'), 3).size(), 1);
        } else {
            QCOMPARE(fixture.Create("наш"), QStringList());
        }
        std::optional<WindowFixture> second;
        if (story == "ours, rewritten") {
            QVERIFY(write("the user's own"));
        } else if (story == "second window") {
            second.emplace("", &fixture);
            QCOMPARE(second->Create("второе окно"), QStringList());
        } else if (story == "read-only folder") {
            QVERIFY(QFile::setPermissions(fixture.folder(), QFile::ReadOwner | QFile::ExeOwner));
        }
        const FileIdentity before = IdentityOf(fixture.bitmapFile().toStdString());
        const QStringList boxes = Answering(QMessageBox::Ok, [&] { fixture.window().close(); });
        QFile::setPermissions(fixture.folder(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(boxes, story != "read-only folder"
                            ? QStringList()
                            : QStringList{"msgFileNotDeleted|QR|Не удалось удалить файл:\n" +
                                          fixture.bitmapFile() + "\n\nPermission denied"});
        QCOMPARE(IdentityOf(fixture.bitmapFile().toStdString()), before);
        if (second) {  // the second window still deletes its own picture
            second->window().close();
            QVERIFY(!QFile::exists(fixture.bitmapFile()));
        }
    }
};

int main(int argc, char* argv[]) {
    ordinaryUser = BecomeOrdinaryUser();
    QApplication application(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_window.moc"
