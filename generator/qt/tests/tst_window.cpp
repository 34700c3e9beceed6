// The Qt face alone (the presenter's rules are logic/tests'): the text box, Enter, Esc, wiring.
#include <QClipboard>

#include "support/test_support.h"

// One key at a time: QTest::keyClicks aborts on non-ASCII characters in Qt 6.4.
static void Type(QWidget* box, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    // Typed keys ("t:..."), a paste ("p:..."), "ctrl+enter"; Create, level and size become usable.
    void input_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("text");  // what the box holds then
        const QString a999(999, u'a'), full(1000, u'ж');
        QTest::newRow("a space, then a letter") << QStringList{"t: ", "t:я"} << " я";
        QTest::newRow("typing past 1000") << QStringList{"p:" + a999, "t:жжж"} << a999 + "ж";
        QTest::newRow("pasting 1500") << QStringList{"p:" + QString(1500, u'ж')} << full;
        QTest::newRow("a line break, then into a full box")
            << QStringList{"ctrl+enter", "p:" + full, "ctrl+enter"} << "\n" + full.left(999);
        QTest::newRow("a surrogate pair at 999 stays whole")
            << QStringList{"p:" + a999, "p:" + QString::fromUcs4(U"\U0001F600")} << a999;
    }

    void input() {
        QFETCH(QStringList, actions);
        QFETCH(QString, text);
        WindowFixture fixture;
        for (const QString& action : actions) {
            if (action.startsWith("t:")) {
                Type(fixture.txt(), action.mid(2));
            } else if (action.startsWith("p:")) {
                QGuiApplication::clipboard()->setText(action.mid(2));
                QTest::keyClick(fixture.txt(), Qt::Key_V, Qt::ControlModifier);
            } else {
                QTest::keyClick(fixture.txt(), Qt::Key_Return, Qt::ControlModifier);
            }
        }
        QCOMPARE(fixture.txt()->Text(), text);
        QVERIFY(fixture.cmd(0)->isEnabled() && fixture.Combo1()->isEnabled());
        QVERIFY(fixture.Window().findChild<QWidget*>("Frame1")->isEnabled());
    }

    void openingEnterAndEscape() {
        WindowFixture fixture;
        Type(fixture.txt(), "Enter");
        QTest::keyClick(fixture.txt(), Qt::Key_Return);
        QCOMPARE(Decode(fixture.Preview()), std::pair(QByteArray("Enter"), QString("Q")));

        // Enter on the focused Exit presses Exit, not Create; Esc asks anywhere.
        Type(fixture.txt(), "more");
        for (QWidget* control : std::initializer_list<QWidget*>{fixture.cmd(4), fixture.txt(),
                                                                fixture.Combo1(), fixture.cmd(0)}) {
            // No window manager gives back the activation the answered box took.
            fixture.Window().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&fixture.Window()));
            control->setFocus();
            const QStringList boxes = Answering(QMessageBox::No, [&] {
                QTest::keyClick(control,
                                control == fixture.cmd(4) ? Qt::Key_Return : Qt::Key_Escape);
            });
            QVERIFY2(boxes == QStringList{"msgAskToClose|QR|Закрыть программу?"},
                     qPrintable(control->objectName()));
        }
        QCOMPARE(Decode(fixture.Preview()).first, QByteArray("Enter"));  // no second Create
    }

    // Each text fits 21 modules; the size item is the margin; the folder ends in "/", kept.
    void whatTheUserChoseReachesTheLibrary_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("encoded");  // trimmed of spaces only
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("sizeIndex");
        QTest::newRow("L, 1") << QString("   слово  ") << QString("слово") << 0 << 0;
        QTest::newRow("M, 5, tab, inner spaces, line break")
            << QString("\tone  two\n ") << QString("\tone  two\n") << 1 << 1;
        QTest::newRow("Q, 10, no-break spaces")
            << QString("\u00a0x\u00a0 ") << QString("\u00a0x\u00a0") << 2 << 2;
        QTest::newRow("H, 25") << QString("abc") << QString("abc") << 3 << 5;
    }

    void whatTheUserChoseReachesTheLibrary() {
        QFETCH(QString, typed);
        QFETCH(QString, encoded);
        QFETCH(int, level);
        QFETCH(int, sizeIndex);
        WindowFixture fixture("app/");
        QCOMPARE(fixture.Create(typed, level, sizeIndex), QStringList());
        const int side = (21 + 2 * fixture.Combo1()->currentText().toInt()) * 5;
        const QImage written = QImage(fixture.BitmapFile()).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(written.size(), QSize(side, side));
        QCOMPARE(Decode(written), std::pair(encoded.toUtf8(), QString("LMQH").mid(level, 1)));
        QCOMPARE(fixture.Preview(), written);
        QVERIFY(fixture.txt()->Text().isEmpty() && fixture.txt()->hasFocus());  // ready for more
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
