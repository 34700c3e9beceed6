// The window on the desktop of scripts/test-env.sh: Open through xdg-open (a stand-in viewer
// records its path), Copy read by another program, closing, Print through cups-pdf queues
// (the default one and one with hardware margins). noPrinter: CUPS_SERVER points nowhere.
#include <QBitmap>
#include <QClipboard>
#include <QFile>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegion>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include "../support/test_support.h"

namespace {

ProcessResult ReadClipboard(const char* target) {
    return RunProcess("xclip", {"-selection", "clipboard", "-t", target, "-o"});
}

// The smallest rectangle holding every black pixel.
QRectF BlackBounds(const QImage& image) {
    return QRegion(QBitmap::fromImage(image.createMaskFromColor(qRgb(0, 0, 0), Qt::MaskOutColor)))
        .boundingRect();
}

// What is wrong with printed `pdf` of `preview` ("" if nothing): picture corner at `corner` (pt),
// side 1935 twips, no grey pixel (no JPEG, no smoothing: modules whole); reads back as `text`.
QString CheckPrint(const QString& pdf, const QImage& preview, QPointF corner,
                   const QByteArray& text) {
    // poppler smooths pictures enlarged under 4x: render the top-left at n*300 dpi, 4+ px a pixel.
    const double side = 1935.0 / 1440.0;  // inches
    const double dpi = 300 * std::ceil((4.0 * preview.width() + 2) / (side * 300));
    const double scale = side * dpi / preview.width();  // device pixels a picture pixel
    corner *= dpi / 72;
    const int area = qRound(std::max(corner.x(), corner.y()) + 1.1 * side * dpi);
    QTemporaryDir scratch;
    const QString stem = scratch.filePath("page");
    const ProcessResult render =
        RunProcess("pdftoppm", {"-r", QString::number(dpi), "-gray", "-png", "-singlefile", "-W",
                                QString::number(area), "-H", QString::number(area), pdf, stem});
    const QImage printed = QImage(stem + ".png").convertToFormat(QImage::Format_Grayscale8);
    if (printed.isNull()) {
        return render.error;
    }
    if (printed.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
            .convertToFormat(QImage::Format_Grayscale8) != printed) {
        return QString("at %1 dpi some pixels are neither black nor white").arg(dpi);
    }
    const QRectF symbol = BlackBounds(preview);
    const QRectF expected(corner + symbol.topLeft() * scale, symbol.size() * scale);
    const QRectF found = BlackBounds(printed);
    const double off = std::max(
        {std::abs(found.left() - expected.left()), std::abs(found.top() - expected.top()),
         std::abs(found.right() - expected.right()), std::abs(found.bottom() - expected.bottom())});
    if (off > 2 * dpi / 300) {  // two dots at 300 dpi
        return QString("%1 pixels off at %2 dpi").arg(off).arg(dpi);
    }
    return Decode(printed).first == text ? QString() : QString("unreadable at %1 dpi").arg(dpi);
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

  private slots:
    void openCopyThenClose() {
        WindowFixture fixture("Мои QR коды/папка с пробелами");
        fixture.Create("открыть и скопировать", 2, 1);
        QFile log(qEnvironmentVariable("TEST_VIEWER_LOG"));  // what the stand-in viewer opened
        QCOMPARE(fixture.Click(1), QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(log.exists(), 10000);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()), fixture.BitmapFile() + '\n');

        // Copy after someone deleted QR.bmp: the picture comes from memory.
        QVERIFY(QFile::remove(fixture.BitmapFile()));
        QCOMPARE(fixture.Click(3), QStringList());
        // xclip prints nothing and succeeds for a format nobody offers: hence the magic.
        const ProcessResult bmp = ReadClipboard("image/bmp");
        QVERIFY2(bmp.ok && bmp.out.startsWith("BM"), qPrintable(bmp.error));
        QCOMPARE(QImage::fromData(bmp.out, "BMP").convertToFormat(QImage::Format_RGB32),
                 fixture.Preview());

        // The close box asks nothing, a deleted QR.bmp is no error, others see our picture go.
        QCOMPARE(Answering(QMessageBox::Yes, [&] { fixture.Window().close(); }), QStringList());
        QVERIFY(!fixture.Window().isVisible());
        QVERIFY(!ReadClipboard("TARGETS").out.contains("image/bmp"));
    }

    // Closing leaves a text copied since our picture on the clipboard.
    void closingAfterATextWasCopied() {
        WindowFixture fixture;
        fixture.Create("до свидания");
        QCOMPARE(fixture.Click(3), QStringList());
        QGuiApplication::clipboard()->setText("copied");
        fixture.Window().close();
        QCOMPARE(ReadClipboard("UTF8_STRING").out, QByteArray("copied"));
    }

    void printsAtTheCorner_data() {
        QTest::addColumn<bool>("margins");
        QTest::newRow("default queue") << false;
        QTest::newRow("queue with hardware margins") << true;
    }

    void printsAtTheCorner() {
        QFETCH(bool, margins);
        const QString prefix = margins ? "TEST_MARGIN_" : "TEST_";
        const QString queue = qEnvironmentVariable(qPrintable(prefix + "PRINTER"));
        const QDir pdfFolder(qEnvironmentVariable(qPrintable(prefix + "PDF_DIR")));
        // The margins queue is the user's default, the other the spooler's.
        qunsetenv("LPDEST");
        margins ? qputenv("PRINTER", queue.toLocal8Bit()) : qunsetenv("PRINTER");
        QPageLayout layout = QPrinter(QPrinterInfo::printerInfo(queue)).pageLayout();
        layout.setUnits(QPageLayout::Point);
        const QMarginsF hardware = layout.minimumMargins();

        WindowFixture fixture;  // the second picture prints
        QCOMPARE(fixture.Create("прежняя"), QStringList());
        QCOMPARE(fixture.Create("печать"), QStringList());
        QCOMPARE(fixture.Click(2), QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(pdfFolder.entryList({"*.pdf"}).size() == 1 &&
                                     RunProcess("lpstat", {"-o", queue}).out.isEmpty(),
                                 30000);
        const QString name = pdfFolder.entryList({"*.pdf"}).first();
        // cups-pdf names the file after the job: job_<id>-<job name>...
        QVERIFY2(QRegularExpression("^job_\\d+-QR\\.bmp").match(name).hasMatch(), qPrintable(name));
        const QString wrong = CheckPrint(pdfFolder.filePath(name), fixture.Preview(),
                                         {hardware.left(), hardware.top()}, "печать");
        QFile::remove(pdfFolder.filePath(name));
        QVERIFY2(wrong.isEmpty(), qPrintable(queue + ": " + wrong));
    }

    void noPrinter() {
        WindowFixture fixture;
        fixture.Create("нет принтера");
        QCOMPARE(fixture.Click(2), QStringList{"msgNoPrinter|QR|Нет доступного принтера."});
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop.moc"
