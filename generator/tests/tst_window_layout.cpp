// The window as it opens: every control where the form puts it, with its
// caption, tooltip, font and flags, and the opening state.
#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTest>

#include "support/window_fixture.h"

class WindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void controls_data();
    void controls();
    void window();
    void tabOrder();
    void openingState();
    void icon();
};

void WindowLayoutTest::controls_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");  // pixels: twips / 15
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("enabled");  // the control's own flag
    QTest::addColumn<bool>("bold");

    const auto row = [](const char* name, const char* className, QRect geometry,
                        const QString& caption, const QString& toolTip, bool enabled, bool bold) {
        QTest::newRow(name) << QString(className) << geometry << caption << toolTip << enabled
                            << bold;
    };
    row("txt", "LimitedTextBox", {8, 144, 281, 35}, "", " Поле ввода данных ", true, false);
    row("Opt_0", "QRadioButton", {40, 24, 73, 17}, "Низкое", " Низкое качество ", true, false);
    row("Opt_1", "QRadioButton", {40, 40, 73, 17}, "Среднее", " Среднее качество ", true, false);
    row("Opt_2", "QRadioButton", {40, 56, 73, 17}, "Стандарт", " Стандартное качество ", true,
        false);
    row("Opt_3", "QRadioButton", {40, 72, 73, 17}, "Высокое", " Высокое качество ", true, false);
    row("Combo1", "QComboBox", {136, 200, 57, 21}, "1", " Относительный размер изображения  ",
        false, true);
    row("cmd_0", "QPushButton", {136, 224, 75, 26}, "Создать",
        " Создать QR- код из указанных выше данных ", false, true);
    row("cmd_2", "QPushButton", {136, 256, 75, 26}, "Печать",
        " Выполнить печать QR- код на принтере ", false, true);
    row("cmd_1", "QPushButton", {216, 192, 75, 26}, "Открыть",
        " Открыть файл изображения QR- кода ", false, false);
    row("cmd_3", "QPushButton", {216, 224, 75, 26}, "Копировать",
        " Копировать QR- код в буфер обмена ", false, false);
    row("cmd_4", "QPushButton", {216, 256, 75, 26}, "Выход", " Выход из программы ", true, false);
    row("Frame1", "QGroupBox", {8, 184, 121, 97}, "Качество:", "", false, true);
    row("Label1", "QLabel", {136, 184, 57, 17}, "Размер:", "", true, true);
    row("Image1", "QLabel", {88, 8, 129, 129}, "", "", true, false);
}

void WindowLayoutTest::controls() {
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);
    QFETCH(bool, enabled);
    QFETCH(bool, bold);
    WindowFixture fixture;
    auto* control = fixture.window().findChild<QWidget*>(QTest::currentDataTag());
    QVERIFY(control != nullptr);
    QCOMPARE(control->metaObject()->className(), className);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->toolTip(), toolTip);
    QCOMPARE(control->isEnabledTo(control->parentWidget()), enabled);
    QVERIFY(control->isVisible());
    const QVariant text = control->property(qobject_cast<QGroupBox*>(control) ? "title" : "text");
    const QVariant current = control->property("currentText");
    QCOMPARE((current.isValid() ? current : text).toString(), caption);

    const QFont font = control->font();
    QCOMPARE(font.bold(), bold);
    QCOMPARE(font.pointSizeF(), 8.25);
    QCOMPARE(font.family(), QString("MS Sans Serif"));
    if (bold) {
        QCOMPARE(font.weight(), QFont::Bold);
        QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    }
}

void WindowLayoutTest::window() {
    WindowFixture fixture;
    frmQR& window = fixture.window();
    QCOMPARE(window.windowTitle(), QString("QR генератор"));
    QCOMPARE(window.size(), QSize(297, 289));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    const QPoint centre = window.screen()->availableGeometry().center();
    QTRY_VERIFY((window.frameGeometry().center() - centre).manhattanLength() <= 1);
}

void WindowLayoutTest::tabOrder() {
    WindowFixture fixture;
    const QStringList controls{"txt",   "Opt_0", "Opt_1", "Opt_2", "Opt_3", "Combo1",
                               "cmd_0", "cmd_2", "cmd_1", "cmd_3", "cmd_4"};
    QStringList chain;
    QWidget* widget = fixture.txt();
    do {
        if (controls.contains(widget->objectName())) {
            chain << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != fixture.txt());
    QCOMPARE(chain, controls);
    for (const char* noFocus : {"Frame1", "Label1", "Image1"}) {
        QCOMPARE(fixture.window().findChild<QWidget*>(noFocus)->focusPolicy(), Qt::NoFocus);
    }
}

void WindowLayoutTest::openingState() {
    WindowFixture fixture;
    QCOMPARE(fixture.window().currentLevel(), 2);
    QVERIFY(fixture.opt(2)->isChecked());
    QCOMPARE(fixture.window().bitmapPath(), QString());
    QCOMPARE(QApplication::focusWidget(), fixture.txt());
    QVERIFY(fixture.txt()->text().isEmpty());
    QCOMPARE(fixture.txt()->maxLength(), 1000);
    QCOMPARE(fixture.txt()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(fixture.txt()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (int i = 0; i < 4; ++i) {
        QVERIFY(!fixture.opt(i)->isEnabled());  // through the disabled frame
    }
    QVERIFY(fixture.cmd(0)->isDefault());

    QComboBox* combo = fixture.combo();
    QVERIFY(!combo->isEditable());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    QCOMPARE(items, QStringList({"1", "5", "10", "15", "20", "25"}));
    fixture.Type("a");
    QCOMPARE(combo->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::blue));

    QLabel* image = fixture.image();
    QVERIFY(image->pixmap().isNull());
    QVERIFY(image->hasScaledContents());
    QCOMPARE(image->frameShape(), QFrame::Box);
    QCOMPARE(image->frameShadow(), QFrame::Plain);
    QCOMPARE(image->lineWidth(), 1);
}

void WindowLayoutTest::icon() {
    WindowFixture fixture;
    const QList<QSize> sizes = fixture.window().windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
    // The icon directory: a 6-byte header, then 16 bytes an image with the
    // width, height and colour count as bytes 0, 1, 2 and the bits per
    // pixel as the 16-bit word at 6.
    QFile file(":/icons/qrgenerator.ico");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    QCOMPARE(ico.at(4), char(2));
    for (int i = 0; i < 2; ++i) {
        const QByteArray entry = ico.mid(6 + 16 * i, 16);
        QCOMPARE(int(uchar(entry.at(0))), i == 0 ? 32 : 16);
        QCOMPARE(int(uchar(entry.at(2))), 16);
        QCOMPARE(int(uchar(entry.at(6))), 4);
    }
}

QTEST_MAIN(WindowLayoutTest)
#include "tst_window_layout.moc"
