// The window before Create: how it opens; the text box with its text-change
// rule and its 1000-unit limit; the Enter and Esc keys.
#include <QClipboard>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include "support/test_support.h"

namespace {

// Types `text` one key at a time (QTest::keyClicks aborts on non-ASCII
// characters in Qt 6.4).
void Type(QWidget* box, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void opening() {
        WindowFixture fixture;
        const QPoint centre = fixture.window().screen()->availableGeometry().center();
        QTRY_VERIFY((fixture.window().frameGeometry().center() - centre).manhattanLength() <= 1);
        // Only the text box (focused) and Exit are usable as the window opens.
        QStringList enabled;
        for (const QWidget* widget : fixture.window().findChildren<QWidget*>(
                 QRegularExpression("^(txt|Opt_\\d|Combo1|cmd_\\d)$"))) {
            enabled << (widget->isEnabledTo(&fixture.window()) ? widget->objectName() : "");
        }
        enabled.removeAll("");
        enabled.sort();
        QCOMPARE(enabled, QStringList({"cmd_4", "txt"}));
        QCOMPARE(QApplication::focusWidget(), fixture.txt());
        QCOMPARE(fixture.window().currentLevel(), 2);
    }

    void input_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("text");  // what the box holds then
        QTest::addColumn<bool>("create");   // whether Create, the level and the size are usable
        const QString a999(999, u'a');
        const QString full(1000, u'ж');
        QTest::newRow("a space, then a letter") << QStringList{"t: ", "t:я"} << " я" << true;
        QTest::newRow("only a line break") << QStringList{"ctrl+enter"} << "\n" << true;
        QTest::newRow("only a tab") << QStringList{"p:\t"} << "\t" << true;
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

    void enterAndEscape() {
        WindowFixture fixture;
        QTest::keyClick(fixture.txt(), Qt::Key_Return);  // Create disabled: no line break either
        QCOMPARE(fixture.txt()->text(), QString());
        Type(fixture.txt(), "Enter");
        QTest::keyClick(fixture.txt(), Qt::Key_Return);
        QCOMPARE(Decode(fixture.preview()).bytes, QByteArray("Enter"));

        // Enter on the focused Exit presses Exit, not Create; Esc asks from
        // wherever the focus is.
        Type(fixture.txt(), "more");
        for (QWidget* control : std::initializer_list<QWidget*>{fixture.cmd(4), fixture.txt(),
                                                                fixture.combo(), fixture.cmd(0)}) {
            // The offscreen platform has no window manager to give the window
            // back the activation that the answered box took.
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
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
