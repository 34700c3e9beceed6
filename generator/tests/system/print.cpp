// Print with the real spooler: cups-pdf queues (scripts/test-env.sh: the
// default one and one with hardware margins) turn jobs into PDFs that poppler
// renders for measuring. noPrinter runs with CUPS_SERVER pointing nowhere.
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

// The smallest rectangle holding every black pixel.
QRectF BlackBounds(const QImage& image) {
    return QRegion(QBitmap::fromImage(image.createMaskFromColor(qRgb(0, 0, 0), Qt::MaskOutColor)))
        .boundingRect();
}

// What is wrong with the printed `pdf` of `preview`, "" when nothing: one
// page, the picture's corner at `corner` (points), its side 1935 twips. A
// picture that fits the 300 dpi printer's 403 dots prints exact: no grey
// pixel (no JPEG), every pixel as in the preview. A larger one cannot keep
// every module whole; it must still read back as `text`.
QString CheckPrint(const QString& pdf, const QImage& preview, QPointF corner,
                   const QByteArray& text) {
    const bool exact = preview.width() <= 403;
    const ProcessResult info = RunProcess("pdfinfo", {pdf});
    if (!QRegularExpression("\\nPages: +1\\n").match(QString::fromUtf8(info.out)).hasMatch()) {
        return "not one page: " + QString::fromUtf8(info.out) + info.error;
    }
    // poppler smooths a picture it enlarges less than fourfold: render the
    // page's top-left part at a multiple of 300 dpi with 4+ pixels a pixel.
    const double side = 1935.0 / 1440.0;  // inches
    const double dpi = exact ? 300 * std::ceil((4.0 * preview.width() + 2) / (side * 300)) : 600;
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
    if (exact && printed.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
                         .convertToFormat(QImage::Format_Grayscale8) != printed) {
        return QString("at %1 dpi some pixels are neither black nor white").arg(dpi);
    }
    const QRectF symbol = BlackBounds(preview);
    const QRectF expected(corner + symbol.topLeft() * scale, symbol.size() * scale);
    const QRectF found = BlackBounds(printed);
    const double off = std::max(
        {std::abs(found.left() - expected.left()), std::abs(found.top() - expected.top()),
         std::abs(found.right() - expected.right()), std::abs(found.bottom() - expected.bottom())});
    // Two dots at 300 dpi; a shrunk picture's edge may move by a module more.
    if (off > 2 * dpi / 300 + (exact ? 0 : 5 * scale)) {
        return QString("%1 pixels off at %2 dpi").arg(off).arg(dpi);
    }
    if (!exact) {
        return Decode(printed).bytes == text ? QString() : QString("unreadable at %1 dpi").arg(dpi);
    }
    // Module for module: the centre of every picture pixel prints in its colour.
    for (int y = 0; y < preview.height(); ++y) {
        for (int x = 0; x < preview.width(); ++x) {
            const QPoint centre = (corner + QPointF(x + 0.5, y + 0.5) * scale).toPoint();
            if ((qGray(printed.pixel(centre)) < 128) != (qGray(preview.pixel(x, y)) < 128)) {
                return QString("picture pixel (%1, %2) printed in the wrong colour").arg(x).arg(y);
            }
        }
    }
    return QString();
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
        const QString prefix = margins ? "TEST_MARGIN_" : "TEST_";
        const QString queue = qEnvironmentVariable(qPrintable(prefix + "PRINTER"));
        const QDir pdfFolder(qEnvironmentVariable(qPrintable(prefix + "PDF_DIR")));
        QVERIFY2(!queue.isEmpty() && pdfFolder.exists(),
                 "no PDF queue: run through scripts/run-tests");
        // The margins queue is the user's default, the other the spooler's.
        qunsetenv("LPDEST");
        margins ? qputenv("PRINTER", queue.toLocal8Bit()) : qunsetenv("PRINTER");
        // The PPD's different left and top margins let a swap show.
        QPageLayout layout = QPrinter(QPrinterInfo::printerInfo(queue)).pageLayout();
        layout.setUnits(QPageLayout::Point);
        const QMarginsF hardware = layout.minimumMargins();
        QCOMPARE(hardware.left() > 0 && hardware.top() > 0 && hardware.left() != hardware.top(),
                 margins);

        // Pictures of different pixel sizes print at one size, each the new
        // one; the last, 191 modules with the widest margin, is 955 pixels
        // shrunk to 1935 twips.
        WindowFixture fixture;
        const QString large(1000, u'a');
        for (const auto& [text, sizeIndex] :
             {std::pair<QString, int>("печать", 0),
              std::pair<QString, int>("второй: 0123456789", 1), std::pair(large, 5)}) {
            QCOMPARE(fixture.Create(text, 2, sizeIndex), QStringList());
            QCOMPARE(fixture.Click(2), QStringList());
            const auto idle = [&] {
                const ProcessResult jobs = RunProcess("lpstat", {"-o", queue});
                return jobs.ok && jobs.out.isEmpty();
            };
            QTRY_VERIFY_WITH_TIMEOUT(pdfFolder.entryList({"*.pdf"}).size() == 1 && idle(), 30000);
            const QString name = pdfFolder.entryList({"*.pdf"}).first();
            const QString pdf = pdfFolder.filePath(name);
            // cups-pdf names the file after the job: job_<id>-<job name>...
            QVERIFY2(QRegularExpression("^job_\\d+-QR\\.bmp").match(name).hasMatch(),
                     qPrintable(name));
            const QString wrong = CheckPrint(pdf, fixture.preview(),
                                             {hardware.left(), hardware.top()}, text.toUtf8());
            QFile::remove(pdf);
            QVERIFY2(wrong.isEmpty(), qPrintable(queue + ", " + text.left(20) + ": " + wrong));
        }
    }

    // The job cannot be started: Qt spools it through a temporary file.
    void printFailed() {
        qunsetenv("PRINTER");  // the spooler's default queue
        WindowFixture fixture;
        fixture.Create("не напечатать");
        const QByteArray temp = qgetenv("TMPDIR");
        qputenv("TMPDIR", "/nonexistent/qrgenerator-test");
        const QStringList boxes = fixture.Click(2);
        temp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", temp);
        QCOMPARE(boxes, QStringList{"msgPrintFailed|QR|Не удалось выполнить печать на принтере «" +
                                    qEnvironmentVariable("TEST_PRINTER") + "»."});
    }

    void noPrinter() {
        WindowFixture fixture;
        fixture.Create("нет принтера");
        QCOMPARE(fixture.Click(2), QStringList{"msgNoPrinter|QR|Нет доступного принтера."});
    }
};

QTEST_MAIN(PrintTest)
#include "print.moc"
