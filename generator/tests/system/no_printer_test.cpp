// Print on a machine without any printer: the client library finds no print
// spooler at all. The window says so in its own message box and carries on.
#include <QApplication>
#include <QPrinterInfo>
#include <QTest>

#include "system_support.h"

namespace {

constexpr int kPrint = 2;

}  // namespace

class NoPrinterTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void printTellsTheUserAndCarriesOn();
};

void NoPrinterTest::initTestCase() {
    QCOMPARE(QApplication::platformName(), QStringLiteral("xcb"));
    // A spooler socket that nothing listens on: CUPS sees no queues, as on
    // a machine where no printer was ever set up.
    qputenv("CUPS_SERVER", "/nonexistent/qrgenerator-test/cups.sock");
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    QVERIFY2(QPrinterInfo::availablePrinters().isEmpty() && QPrinterInfo::defaultPrinter().isNull(),
             qPrintable(QStringLiteral("a printer is still visible: ") +
                        QPrinterInfo::availablePrinterNames().join(QStringLiteral(", "))));
}

void NoPrinterTest::printTellsTheUserAndCarriesOn() {
    SystemWindow fixture;
    QVERIFY2(fixture.error().isEmpty(), qPrintable(fixture.error()));
    const QString created = fixture.Create(QStringLiteral("нет принтера"));
    QVERIFY2(created.isEmpty(), qPrintable(created));

    for (int attempt = 0; attempt < 2; ++attempt) {
        const QStringList before = fixture.Snapshot();
        MessageBoxCatcher catcher;
        fixture.Click(kPrint);
        QCOMPARE(catcher.seen().size(), 1);
        const MessageBoxCatcher::Seen& box = catcher.seen().first();
        QCOMPARE(box.objectName, QStringLiteral("msgNoPrinter"));
        QCOMPARE(box.title, QStringLiteral("QR"));
        QVERIFY2(box.text.contains(QStringLiteral("принтер"), Qt::CaseInsensitive),
                 qPrintable(box.text));
        QCOMPARE(fixture.Snapshot(), before);
    }
    // The program still works.
    const QString again = fixture.Create(QStringLiteral("и дальше"));
    QVERIFY2(again.isEmpty(), qPrintable(again));
}

QRGENERATOR_SYSTEM_TEST_MAIN(NoPrinterTest)
#include "no_printer_test.moc"
