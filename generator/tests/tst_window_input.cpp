// What the user does before Create: the text-change rule, the level
// buttons, the 1000-unit limit of the text box, and the keyboard.
#include <QApplication>
#include <QClipboard>
#include <QTest>

#include "support/message_box_answerer.h"
#include "support/window_fixture.h"

class WindowInputTest : public QObject {
    Q_OBJECT

  private slots:
    void textChangeRule_data();
    void textChangeRule();
    void levelButtons();
    void levelButtonsUnusableWhileFrameDisabled();
    void lengthLimit_data();
    void lengthLimit();
    void enterPressesCreateOrTheFocusedButton();
    void escapeAsksToCloseFromAnyControl();
};

namespace {

// What the text-change rule has set: Create, Frame1 and Combo1 agree.
bool CreateEnabled(const WindowFixture& fixture) {
    const bool create = fixture.cmd(0)->isEnabled();
    if (fixture.frame()->isEnabled() != create || fixture.combo()->isEnabled() != create) {
        qWarning("Create, the frame and the list disagree");
        return !create;  // makes the comparison fail
    }
    return create;
}

// An action on the text box: typed keys ("t:"), a paste ("p:"), Ctrl+Enter
// ("ctrl+enter") or Backspace ("backspace").
void Act(WindowFixture& fixture, const QString& action) {
    if (action.startsWith("t:")) {
        fixture.Type(action.mid(2));
    } else if (action.startsWith("p:")) {
        fixture.Paste(action.mid(2));
    } else if (action == "ctrl+enter") {
        QTest::keyClick(fixture.txt(), Qt::Key_Return, Qt::ControlModifier);
    } else if (action == "backspace") {
        QTest::keyClick(fixture.txt(), Qt::Key_Backspace);
    } else {
        QFAIL(qPrintable("unknown action " + action));
    }
}

}  // namespace

void WindowInputTest::textChangeRule_data() {
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QList<bool>>("enabledAfterEach");
    QTest::newRow("one space, then a letter")
        << QStringList{"t: ", "t:я"} << QList<bool>{false, true};
    QTest::newRow("only spaces") << QStringList{"t:   "} << QList<bool>{false};
    QTest::newRow("only a line break") << QStringList{"ctrl+enter"} << QList<bool>{true};
    QTest::newRow("only a pasted tab") << QStringList{"p:\t"} << QList<bool>{true};
    QTest::newRow("deleting the last non-space")
        << QStringList{"t: a ", "backspace", "backspace"} << QList<bool>{true, true, false};
    QTest::newRow("a non-breaking space is not trimmed")
        << QStringList{"p:\u00a0"} << QList<bool>{true};
}

void WindowInputTest::textChangeRule() {
    QFETCH(QStringList, actions);
    QFETCH(QList<bool>, enabledAfterEach);
    WindowFixture fixture;
    QCOMPARE(CreateEnabled(fixture), false);
    for (qsizetype i = 0; i < actions.size(); ++i) {
        Act(fixture, actions[i]);
        QVERIFY2(CreateEnabled(fixture) == enabledAfterEach[i], qPrintable(actions[i]));
        // The rule never touches the other buttons.
        for (int other = 1; other <= 3; ++other) {
            QVERIFY(!fixture.cmd(other)->isEnabled());
        }
        QVERIFY(fixture.cmd(4)->isEnabled());
    }
}

void WindowInputTest::levelButtons() {
    WindowFixture fixture;
    fixture.Type("x");
    for (const int level : {0, 3, 1, 2, 2}) {
        QTest::mouseClick(fixture.opt(level), Qt::LeftButton);
        QCOMPARE(fixture.window().currentLevel(), level);
        QVERIFY(fixture.opt(level)->isChecked());
    }
    // Arrow keys move the choice as clicks do.
    fixture.opt(2)->setFocus();
    QTest::keyClick(fixture.opt(2), Qt::Key_Down);
    QCOMPARE(fixture.window().currentLevel(), 3);
}

void WindowInputTest::levelButtonsUnusableWhileFrameDisabled() {
    WindowFixture fixture;
    for (int level = 0; level < 4; ++level) {
        QVERIFY(fixture.opt(level)->isEnabledTo(fixture.frame()));  // its own flag
        QTest::mouseClick(fixture.opt(level), Qt::LeftButton);
        QCOMPARE(fixture.window().currentLevel(), 2);
    }
    QVERIFY(fixture.opt(2)->isChecked());
}

void WindowInputTest::lengthLimit_data() {
    QTest::addColumn<QString>("before");  // typed first
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("expectedLength");
    const QString full = QString(1000, u'ж');
    QTest::newRow("typing past 1000") << QString(999, u'a') << "t:жжж" << 1000;
    QTest::newRow("pasting 1500") << QString() << "p:" + QString(1500, u'ы') << 1000;
    QTest::newRow("pasting into a full box") << full << "p:abc" << 1000;
    QTest::newRow("line break into a full box") << full << "ctrl+enter" << 1000;
    QTest::newRow("pasting a surrogate pair at 999")
        << QString(999, u'a') << "p:" + QString::fromUcs4(U"\U0001F600") << 999;
}

void WindowInputTest::lengthLimit() {
    QFETCH(QString, before);
    QFETCH(QString, action);
    QFETCH(int, expectedLength);
    WindowFixture fixture;
    fixture.Paste(before);  // quicker than 1000 key presses, and cut the same way
    Act(fixture, action);
    QCOMPARE(fixture.txt()->length(), expectedLength);
    QCOMPARE(fixture.txt()->text().size(), expectedLength);
    // What fitted is the start of what was offered.
    const QString offered = before + action.mid(2);
    if (action.startsWith("t:") || action.startsWith("p:")) {
        QCOMPARE(fixture.txt()->text(), offered.left(expectedLength));
    }
}

void WindowInputTest::enterPressesCreateOrTheFocusedButton() {
    WindowFixture fixture;
    // Disabled Create: Enter does nothing, and types no line break.
    QTest::keyClick(fixture.txt(), Qt::Key_Return);
    QCOMPARE(fixture.txt()->text(), QString());

    fixture.Type("Enter");
    QTest::keyClick(fixture.txt(), Qt::Key_Return);
    QVERIFY(!fixture.image()->pixmap().isNull());
    QCOMPARE(fixture.window().encodedText(), QString("Enter"));

    // Enter on another command button presses that button: Exit asks.
    fixture.Type("more");
    fixture.cmd(4)->setFocus();
    MessageBoxAnswerer answerer(QMessageBox::No);
    QTest::keyClick(fixture.cmd(4), Qt::Key_Return);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen()[0].objectName, QString("msgAskToClose"));
    QCOMPARE(fixture.window().encodedText(), QString("Enter"));  // no second Create
}

void WindowInputTest::escapeAsksToCloseFromAnyControl() {
    WindowFixture fixture;
    fixture.Type("x");
    for (QWidget* control : std::initializer_list<QWidget*>{
             fixture.txt(), fixture.combo(), fixture.opt(2), fixture.cmd(0), fixture.cmd(4)}) {
        // Give the window back the activation the answered box took (the
        // offscreen platform has no window manager to do it).
        fixture.window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&fixture.window()));
        control->setFocus();
        MessageBoxAnswerer answerer(QMessageBox::No);
        QTest::keyClick(control, Qt::Key_Escape);
        QVERIFY2(answerer.seen().size() == 1, qPrintable(control->objectName()));
        const SeenMessageBox& box = answerer.seen()[0];
        QCOMPARE(box.title, QString("QR"));
        QCOMPARE(box.text, QString("Закрыть программу?"));
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.buttons, QStringList({"Да", "Нет"}));
        QCOMPARE(box.defaultButton, QString("Да"));
        QVERIFY(fixture.window().isVisible());
    }
}

QTEST_MAIN(WindowInputTest)
#include "tst_window_input.moc"
