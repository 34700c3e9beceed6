// The window before Create: how it opens; the text box with its text-change
// rule and its 1000-unit limit; the Enter and Esc keys.
#include <QScreen>
#include <QTest>

#include "support/test_support.h"

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void opening() {
        WindowFixture fixture;
        frmQR& window = fixture.window();
        QCOMPARE(window.windowTitle(), QString("QR генератор"));
        QCOMPARE(window.size(), QSize(297, 289));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(!(window.windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        const QPoint centre = window.screen()->availableGeometry().center();
        QTRY_VERIFY((window.frameGeometry().center() - centre).manhattanLength() <= 1);

        // Every control the user can reach, in tab order; of them only the
        // text box and Exit are usable as the window opens (the level
        // buttons are not, through their frame).
        const QStringList tabOrder = {"txt",   "Opt_0", "Opt_1", "Opt_2", "Opt_3", "Combo1",
                                      "cmd_0", "cmd_2", "cmd_1", "cmd_3", "cmd_4"};
        QStringList chain, enabled;
        QWidget* widget = fixture.txt();
        do {
            if (tabOrder.contains(widget->objectName())) {
                chain << widget->objectName();
                enabled << (widget->isEnabled() ? widget->objectName() : QString());
            }
            widget = widget->nextInFocusChain();
        } while (widget != fixture.txt());
        QCOMPARE(chain, tabOrder);
        enabled.removeAll(QString());
        QCOMPARE(enabled, QStringList({"txt", "cmd_4"}));
        QCOMPARE(QApplication::focusWidget(), fixture.txt());
        QVERIFY(fixture.opt(2)->isChecked());
        QCOMPARE(window.currentLevel(), 2);
        QStringList items;
        for (int i = 0; i < fixture.combo()->count(); ++i) {
            items << fixture.combo()->itemText(i);
        }
        QCOMPARE(items, QStringList({"1", "5", "10", "15", "20", "25"}));
        QCOMPARE(fixture.combo()->currentText(), QString("1"));
    }

    void input_data() {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("text");  // what the box holds then
        QTest::addColumn<bool>("create");   // whether Create, the level and the size are usable
        const QString a999(999, u'a');
        const QString full(1000, u'ж');
        QTest::newRow("a space") << QStringList{"t: "} << " " << false;
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
                fixture.Type(action.mid(2));
            } else if (action.startsWith("p:")) {
                fixture.Paste(action.mid(2));
            } else {
                QTest::keyClick(fixture.txt(),
                                action == "backspace" ? Qt::Key_Backspace : Qt::Key_Return,
                                action == "ctrl+enter" ? Qt::ControlModifier : Qt::NoModifier);
            }
        }
        QCOMPARE(fixture.txt()->text(), text);
        QCOMPARE(fixture.cmd(0)->isEnabled(), create);
        QCOMPARE(fixture.child<QWidget>("Frame1")->isEnabled(), create);
        QCOMPARE(fixture.combo()->isEnabled(), create);
        // The rule leaves the other buttons alone.
        QVERIFY(!fixture.cmd(1)->isEnabled() && !fixture.cmd(2)->isEnabled() &&
                !fixture.cmd(3)->isEnabled() && fixture.cmd(4)->isEnabled());
    }

    void enterAndEscape() {
        WindowFixture fixture;
        QTest::keyClick(fixture.txt(), Qt::Key_Return);  // Create disabled: no line break either
        QCOMPARE(fixture.txt()->text(), QString());
        fixture.Type("Enter");
        QTest::keyClick(fixture.txt(), Qt::Key_Return);
        QCOMPARE(Decode(fixture.preview()).bytes, QByteArray("Enter"));

        // Enter on the focused Exit presses Exit, not Create; Esc asks from
        // wherever the focus is.
        fixture.Type("more");
        const QList<QWidget*> controls = {fixture.cmd(4), fixture.txt(), fixture.combo(),
                                          fixture.cmd(0)};
        for (QWidget* control : controls) {
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
