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
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cmath>

#include "support/test_support.h"

namespace {

// The preview's side, 1935 twips.
constexpr double kSideInches = 1935.0 / 1440.0;
constexpr int kModulePixels = 5;

// The smallest rectangle holding every black pixel (with MaskOutColor they
// are the bitmap's set pixels, Qt::color1).
QRect BlackBounds(const QImage& image) {
    const QImage black = image.createMaskFromColor(qRgb(0, 0, 0), Qt::MaskOutColor);
    return QRegion(QBitmap::fromImage(black)).boundingRect();
}

bool IsDark(const QImage& image, QPoint at) {
    return qGray(image.pixel(at)) < 128;
}

// What is wrong with the printed `pdf` for `preview` on a printer whose
// page is `layout` (in points), "" when nothing: one page; the picture's
// corner at the printable area's corner, its side 1935 twips; every pixel
// pure black or white (no JPEG), every module as in the preview.
QString CheckPrint(const QString& pdf, const QImage& preview, const QPageLayout& layout) {
    const ProcessResult info = RunProcess("pdfinfo", {pdf});
    if (!QRegularExpression("Pages:\\s+1\\n").match(QString::fromUtf8(info.out)).hasMatch()) {
        return "not one page: " + info.out + info.error;
    }
    // poppler smooths a picture that it enlarges less than fourfold; so
    // render at a multiple of 300 dpi where every picture pixel spans four
    // device pixels or more, only the page's top-left part that should hold
    // the picture, with room to show a misplaced one.
    const double dpi = 300 * std::ceil((4.0 * preview.width() + 2) / (kSideInches * 300));
    const double scale = kSideInches * dpi / preview.width();  // device pixels a picture pixel
    const QPointF corner =
        QPointF(layout.minimumMargins().left(), layout.minimumMargins().top()) * dpi / 72;
    const QSize area =
        (QSizeF(corner.x(), corner.y()) + QSizeF(1.1, 1.1) * kSideInches * dpi).toSize();
    QTemporaryDir scratch;
    const QString stem = scratch.filePath("page");
    const auto number = [](double value) { return QString::number(value); };
    const ProcessResult render =
        RunProcess("pdftoppm", {"-r", number(dpi), "-gray", "-png", "-singlefile", "-W",
                                number(area.width()), "-H", number(area.height()), pdf, stem});
    const QImage printed = QImage(stem + ".png").convertToFormat(QImage::Format_Grayscale8);
    if (printed.isNull()) {
        return render.error;
    }
    const QImage twoTone = printed.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    if (twoTone.convertToFormat(QImage::Format_Grayscale8) != printed) {
        return QString("at %1 dpi some pixels are neither black nor white").arg(dpi);
    }
    const QRectF symbol = BlackBounds(preview);
    const QRectF expected(corner + symbol.topLeft() * scale, symbol.size() * scale);
    const QRectF found = BlackBounds(printed);
    const double off = std::max(
        {std::abs(found.left() - expected.left()), std::abs(found.top() - expected.top()),
         std::abs(found.right() - expected.right()), std::abs(found.bottom() - expected.bottom())});
    if (off > 2 * dpi / 300) {  // two pixels at 300 dpi
        return QString("the dark square lies %1 pixels at %2 dpi off its place").arg(off).arg(dpi);
    }
    int wrong = 0;  // modules, sampled at their centres
    for (int y = kModulePixels / 2; y < preview.height(); y += kModulePixels) {
        for (int x = kModulePixels / 2; x < preview.width(); x += kModulePixels) {
            const QPoint at = (corner + QPointF(x + 0.5, y + 0.5) * scale).toPoint();
            wrong += IsDark(preview, {x, y}) != IsDark(printed, at);
        }
    }
    return wrong == 0 ? QString() : QString("%1 modules differ from the preview").arg(wrong);
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
        // The margins queue becomes the user's default printer, the other is the
        // spooler's default.
        qunsetenv("LPDEST");
        margins ? qputenv("PRINTER", queue.toLocal8Bit()) : qunsetenv("PRINTER");
        // The printable area as CUPS reports it from the queue's PPD.
        QPageLayout layout = QPrinter(QPrinterInfo::printerInfo(queue)).pageLayout();
        layout.setUnits(QPageLayout::Point);
        const QMarginsF hardware = layout.minimumMargins();
        // Different left and top margins, so that a swap shows.
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
            const QString wrong = CheckPrint(pdf, preview, layout);
            QFile::remove(pdf);
            QVERIFY2(wrong.isEmpty(),
                     qPrintable(QString("%1, \"%2\": %3").arg(queue, text, wrong)));
            previous = preview;
        }
    }

    void noPrinter() {
        QVERIFY2(
            QPrinterInfo::availablePrinters().isEmpty() && QPrinterInfo::defaultPrinter().isNull(),
            "a printer is visible: run as the test system_no_printer (CUPS_SERVER points nowhere)");
        WindowFixture fixture;
        fixture.Create("нет принтера");
        const QStringList boxes = fixture.Click(2);
        QVERIFY2(boxes.size() == 1 && boxes[0].startsWith("msgNoPrinter|QR|"),
                 qPrintable(boxes.join('\n')));
        // The program carries on.
        fixture.Create("и дальше");
        QCOMPARE(Decode(fixture.preview()).bytes, QString("и дальше").toUtf8());
    }
};

QTEST_MAIN(PrintTest)
#include "print.moc"
