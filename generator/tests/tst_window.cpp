// The window: how it opens; the text box with its text-change rule and its
// 1000-unit limit; the Enter and Esc keys; Create from the user's side, read
// back from the file the library wrote with a decoder, and what it reports
// instead of showing a stale picture.
#include <QClipboard>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include "file_identity.h"
#include "support/test_support.h"
#include "trim_and_val.h"

namespace {

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
    // Reading the size list's text as the margin: Val, then half-to-even.
    void marginFromText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("margin");
        for (const auto& [text, margin] :
             std::initializer_list<std::pair<const char*, int>>{{"1", 1},
                                                                {"25", 25},
                                                                {" 1 5x", 15},
                                                                {"+2.5", 2},
                                                                {"3.5", 4},
                                                                {"-7e1", -70},
                                                                {"12e", 12},
                                                                {"", 0},
                                                                {"x1", 0},
                                                                {"inf", 0},
                                                                {"1e400", INT32_MAX},
                                                                {"1e-400", 0}}) {
            QTest::newRow(text) << QString(text) << margin;
        }
    }
    void marginFromText() {
        QFETCH(QString, text);
        QTEST(int(RoundToInt32HalfEven(Val(text))), "margin");
    }

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
        QCOMPARE(fixture.window().currentLevel(), level);
        QCOMPARE(fixture.combo()->currentIndex(), sizeIndex);
    }

    void fullTextBoxOfCyrillic_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("earlierPicture");
        QTest::newRow("Q, no earlier picture") << 2 << false;
        QTest::newRow("H, earlier picture") << 3 << true;
    }

    void fullTextBoxOfCyrillic() {
        QFETCH(int, level);
        QFETCH(bool, earlierPicture);
        WindowFixture fixture;
        if (earlierPicture) {
            fixture.Create("earlier", 0, 0);
        }
        const QImage previewBefore = fixture.preview();
        const FileIdentity fileBefore = IdentityOf(fixture.bitmapFile().toStdString());
        const QString text(1000, u'ё');  // 2000 UTF-8 bytes
        const QStringList boxes = fixture.Create(text, level, 1);
        QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("msgTextDoesNotFit|QR|"),
                 qPrintable(boxes.join('\n')));
        // Everything kept for the user to shorten the text or lower the
        // level; no stale picture: the earlier one stays in file and preview.
        QCOMPARE(fixture.txt()->text(), text);
        QCOMPARE(fixture.window().currentLevel(), level);
        QCOMPARE(fixture.combo()->currentIndex(), 1);
        QVERIFY(fixture.cmd(0)->isEnabled());
        QCOMPARE(fixture.preview(), previewBefore);
        QCOMPARE(IdentityOf(fixture.bitmapFile().toStdString()), fileBefore);
        QCOMPARE(fixture.cmd(1)->isEnabled(), earlierPicture);
        // At M the same text fits.
        QCOMPARE(fixture.Create(QString(), 1, 1), QStringList());
        QCOMPARE(Decode(fixture.preview()).bytes, text.toUtf8());
    }

    void missingLibraryIsReportedAndLoadedLater() {
        WindowFixture fixture;
        const QString away = fixture.libraryFile() + ".away";
        QVERIFY(QFile::rename(fixture.libraryFile(), away));
        const QStringList boxes = fixture.Create("текст");
        QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("msgLibraryNotLoaded|") &&
                     boxes[0].contains(fixture.libraryFile()),
                 qPrintable(boxes.join('\n')));
        QCOMPARE(fixture.txt()->text(), QString("текст"));
        // With the file back, the next Create loads it and works.
        QVERIFY(QFile::rename(away, fixture.libraryFile()));
        QCOMPARE(fixture.Click(0), QStringList());
        QCOMPARE(Decode(fixture.preview()).bytes, QString("текст").toUtf8());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
