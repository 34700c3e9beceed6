// Print with the real spooler: CUPS turns each job of a cups-pdf queue into a
// PDF (scripts/test-env.sh sets up the default queue and one whose PPD
// declares hardware margins), which poppler renders for measuring. The
// function noPrinter runs on its own with CUPS_SERVER pointing nowhere (the
// test system_no_printer): a machine where no printer was ever set up.
#include <QBitmap>
#include <QDir>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegion>
#include <QTest>

#include <algorithm>
#include <cmath>

#include "support/test_support.h"

namespace {

// The smallest rectangle holding every black pixel.
QRectF BlackBounds(const QImage& image) {
    return QRegion(QBitmap::fromImage(image.createMaskFromColor(qRgb(0, 0, 0), Qt::MaskOutColor)))
        .boundingRect();
}

// What is wrong with the printed `pdf` for `preview` whose top-left corner
// should lie at `corner` (points, the printable area's corner), "" when
// nothing: the side 1935 twips, every pixel pure black or white (no JPEG).
QString CheckPrint(const QString& pdf, const QImage& preview, QPointF corner) {
    // poppler smooths a picture that it enlarges less than fourfold; so
    // render at a multiple of 300 dpi where every picture pixel spans four
    // device pixels or more, only the page's top-left part that should hold
    // the picture, with room to show a misplaced one.
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
    return off <= 2 * dpi / 300  // two pixels at 300 dpi
               ? QString()
               : QString("the dark square lies %1 pixels at %2 dpi off its place")
                     .arg(off)
                     .arg(dpi);
}

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT

  private slots:
    void printsEachNewPicture_data() {
        QTest::addColumn<bool>("margins");
        QTest::newRow("default queue") << false;
        QTest::newRow("queue with hardware margins") << true;
    }

    void printsEachNewPicture() {
        QFETCH(bool, margins);
        const QString queue =
            qEnvironmentVariable(margins ? "TEST_MARGIN_PRINTER" : "TEST_PRINTER");
        const QDir pdfFolder(
            qEnvironmentVariable(margins ? "TEST_MARGIN_PDF_DIR" : "TEST_PDF_DIR"));
        QVERIFY2(!queue.isEmpty() && pdfFolder.exists(),
                 "no PDF queue: run through scripts/run-tests");
        // The margins queue becomes the user's default printer, the other is
        // the spooler's default.
        qunsetenv("LPDEST");
        margins ? qputenv("PRINTER", queue.toLocal8Bit()) : qunsetenv("PRINTER");
        // The printable area as CUPS reports it from the queue's PPD; different
        // left and top margins, so that a swap shows.
        QPageLayout layout = QPrinter(QPrinterInfo::printerInfo(queue)).pageLayout();
        layout.setUnits(QPageLayout::Point);
        const QMarginsF hardware = layout.minimumMargins();
        QCOMPARE(hardware.left() > 0 && hardware.top() > 0 && hardware.left() != hardware.top(),
                 margins);

        // Two pictures of different pixel sizes print at the same size, and
        // the second Print prints the second picture.
        WindowFixture fixture;
        QImage previous;
        for (const auto& [text, sizeIndex] :
             {std::pair("печать", 0), std::pair("второй: 0123456789", 1)}) {
            fixture.Create(text, 2, sizeIndex);
            const QImage preview = fixture.preview();
            QVERIFY(!preview.isNull() && preview != previous);
            QCOMPARE(fixture.Click(2), QStringList());
            // The spooler has finished when the queue is empty again.
            const auto idle = [&] {
                const ProcessResult jobs = RunProcess("lpstat", {"-o", queue});
                return jobs.ok && jobs.out.isEmpty();
            };
            QTRY_VERIFY_WITH_TIMEOUT(pdfFolder.entryList({"*.pdf"}).size() == 1 && idle(), 30000);
            const QString pdf = pdfFolder.filePath(pdfFolder.entryList({"*.pdf"}).first());
            const QString wrong = CheckPrint(pdf, preview, {hardware.left(), hardware.top()});
            QFile::remove(pdf);
            QVERIFY2(wrong.isEmpty(), qPrintable(QString("%1, %2: %3").arg(queue, text, wrong)));
            previous = preview;
        }
    }

    void noPrinter() {
        QVERIFY2(QPrinterInfo::availablePrinters().isEmpty(),
                 "a printer is visible: run as the test system_no_printer");
        WindowFixture fixture;
        fixture.Create("нет принтера");
        const QStringList boxes = fixture.Click(2);
        QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("msgNoPrinter|QR|"),
                 qPrintable(boxes.join('\n')));
    }
};

QTEST_MAIN(PrintTest)
#include "print.moc"
