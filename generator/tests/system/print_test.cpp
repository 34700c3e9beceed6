// Print with the real spooler: CUPS with a cups-pdf queue (set up by
// scripts/test-env.sh) turns the job into a PDF, which poppler renders at
// 300 dpi for measuring. With QRTEST_PRINT_QUEUE=margins the queue is the
// one whose PPD declares hardware margins, chosen as the user's default
// printer through PRINTER; otherwise it is the spooler's default queue.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

#include "system_support.h"

namespace {

constexpr int kPrint = 2;
constexpr double kDotsPerInch = 300.0;
constexpr double kPointsPerInch = 72.0;
// The preview's side: 1935 twips.
constexpr double kPrintedSideInches = 1935.0 / 1440.0;
// Every module of the window's pictures is this many pixels square.
constexpr int kModulePixels = 5;
// How far a printed edge may lie from where it belongs, in 300 dpi pixels.
constexpr double kEdgeTolerance = 2.0;

// A queue as the spooler describes it, in 300 dpi pixels of the page.
struct Queue {
    QString name;
    QString pdfFolder;
    QPointF corner;  // top-left corner of the printable area
    QSizeF paper;
};

// Reads the default page size's printable area and paper size from the PPD
// that the spooler keeps for `queue`. Returns an error message or "".
QString ReadPpd(Queue* queue) {
    QFile ppd(QStringLiteral("/etc/cups/ppd/%1.ppd").arg(queue->name));
    if (!ppd.open(QIODevice::ReadOnly)) {
        return ppd.fileName() + QStringLiteral(": ") + ppd.errorString();
    }
    const QString text = QString::fromLatin1(ppd.readAll());
    const QRegularExpressionMatch pageSize =
        QRegularExpression(QStringLiteral("^\\*DefaultPageSize:\\s*(\\S+)"),
                           QRegularExpression::MultilineOption)
            .match(text);
    if (!pageSize.hasMatch()) {
        return QStringLiteral("no DefaultPageSize in ") + ppd.fileName();
    }
    const auto numbers = [&](const QString& keyword) {
        const QRegularExpressionMatch line =
            QRegularExpression(QStringLiteral("^\\*%1 %2[/:][^\"]*\"([^\"]*)\"")
                                   .arg(keyword, QRegularExpression::escape(pageSize.captured(1))),
                               QRegularExpression::MultilineOption)
                .match(text);
        QList<double> values;
        for (const QString& word : line.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            values << word.toDouble() * kDotsPerInch / kPointsPerInch;
        }
        return values;
    };
    const QList<double> area = numbers(QStringLiteral("ImageableArea"));  // llx lly urx ury
    const QList<double> paper = numbers(QStringLiteral("PaperDimension"));
    if (area.size() != 4 || paper.size() != 2) {
        return QStringLiteral("no printable area or paper size for %1 in %2")
            .arg(pageSize.captured(1), ppd.fileName());
    }
    queue->paper = QSizeF(paper[0], paper[1]);
    queue->corner = QPointF(area[0], paper[1] - area[3]);
    return {};
}

QStringList PdfFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
}

// The pictures are two-coloured: anything darker than mid-grey is dark.
bool IsDark(const QImage& grey, int x, int y) {
    return grey.constScanLine(y)[x] < 128;
}

// The smallest rectangle holding every dark pixel of a Grayscale8 image, in
// pixel edges; empty when there is none.
QRectF DarkBounds(const QImage& grey) {
    int left = grey.width(), top = grey.height(), right = -1, bottom = -1;
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            if (IsDark(grey, x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRectF() : QRectF(QPointF(left, top), QPointF(right + 1, bottom + 1));
}

QString Text(const QRectF& r) {
    return QStringLiteral("(%1, %2)-(%3, %4)")
        .arg(r.left(), 0, 'f', 1)
        .arg(r.top(), 0, 'f', 1)
        .arg(r.right(), 0, 'f', 1)
        .arg(r.bottom(), 0, 'f', 1);
}

// Renders the PDF's page at `dotsPerInch` in grey, the whole page or only
// `crop` (in pixels of that resolution). Returns a null image with `error`
// set when poppler fails.
QImage Render(const QString& pdf, int dotsPerInch, const QRect& crop, QString* error) {
    QTemporaryDir scratch;
    const QString stem = scratch.filePath(QStringLiteral("page"));
    QStringList arguments = {QStringLiteral("-r"), QString::number(dotsPerInch),
                             QStringLiteral("-gray"), QStringLiteral("-png"),
                             QStringLiteral("-singlefile")};
    if (!crop.isNull()) {
        arguments << QStringLiteral("-x") << QString::number(crop.x()) << QStringLiteral("-y")
                  << QString::number(crop.y()) << QStringLiteral("-W")
                  << QString::number(crop.width()) << QStringLiteral("-H")
                  << QString::number(crop.height());
    }
    const ProcessResult render = RunProcess(QStringLiteral("pdftoppm"), arguments << pdf << stem);
    const QImage page = QImage(stem + QStringLiteral(".png"));
    if (!render.ok() || page.isNull()) {
        *error = render.describe();
        return {};
    }
    return page.convertToFormat(QImage::Format_Grayscale8);
}

// Checks a printed PDF against the preview it should show: one page of the
// queue's paper; on it only the picture, its top-left corner at the
// printable area's corner and its side 1.34375 inch (measured on the
// symbol's dark edges at 300 dpi); only pure black and pure white pixels,
// every module as in the preview. Returns "" or what is wrong.
QString CheckPrintedPage(const QString& pdf, const QImage& preview, const Queue& queue) {
    const ProcessResult info = RunProcess(QStringLiteral("pdfinfo"), {pdf});
    if (!info.ok()) {
        return info.describe();
    }
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(info.out));
    if (pages.captured(1) != QStringLiteral("1")) {
        return QStringLiteral("the PDF has %1 pages, not 1").arg(pages.captured(1));
    }

    QString error;
    const QImage page = Render(pdf, kDotsPerInch, {}, &error);
    if (page.isNull()) {
        return error;
    }
    if (std::abs(page.width() - queue.paper.width()) > 1 ||
        std::abs(page.height() - queue.paper.height()) > 1) {
        return QStringLiteral("the page is %1x%2 px, the queue's paper %3x%4")
            .arg(page.width())
            .arg(page.height())
            .arg(queue.paper.width())
            .arg(queue.paper.height());
    }
    const QImage picture = preview.convertToFormat(QImage::Format_Grayscale8);
    const double side = kPrintedSideInches * kDotsPerInch;
    const double scale = side / picture.width();  // page pixels per picture pixel
    const QRectF symbol = DarkBounds(picture);
    const QRectF expected(queue.corner + symbol.topLeft() * scale, symbol.size() * scale);
    const QRectF printed = DarkBounds(page);
    const bool placed = std::abs(printed.left() - expected.left()) <= kEdgeTolerance &&
                        std::abs(printed.top() - expected.top()) <= kEdgeTolerance &&
                        std::abs(printed.right() - expected.right()) <= kEdgeTolerance &&
                        std::abs(printed.bottom() - expected.bottom()) <= kEdgeTolerance;
    if (!placed) {
        return QStringLiteral("the dark square lies at %1 px, it belongs at %2 px")
            .arg(Text(printed), Text(expected));
    }

    // poppler smooths a picture it enlarges less than fourfold, whatever the
    // PDF says; at a resolution where each picture pixel spans at least four
    // device pixels it draws the pixels as they are. So the picture's area
    // is rendered again at a multiple of 300 dpi that gets there.
    const int factor = static_cast<int>(std::ceil((4.0 * picture.width() + 2.0) / side));
    const double fine = scale * factor;
    const QRect area = QRectF(queue.corner * factor, QSizeF(side, side) * factor)
                           .adjusted(-8 * factor, -8 * factor, 8 * factor, 8 * factor)
                           .toAlignedRect()
                           .intersected(QRect(QPoint(0, 0), page.size() * factor));
    const QImage detail = Render(pdf, kDotsPerInch * factor, area, &error);
    if (detail.isNull()) {
        return error;
    }
    // A JPEG-coded picture shows as grey around the module edges.
    qsizetype grey = 0;
    for (int y = 0; y < detail.height(); ++y) {
        for (int x = 0; x < detail.width(); ++x) {
            const uchar value = detail.constScanLine(y)[x];
            grey += value != 0 && value != 255;
        }
    }
    if (grey != 0) {
        return QStringLiteral("%1 pixels at %2 dpi are neither black nor white")
            .arg(grey)
            .arg(kDotsPerInch * factor);
    }
    // Module for module, sampled at each module's centre.
    QStringList wrong;
    for (int row = 0; row * kModulePixels < picture.height(); ++row) {
        for (int column = 0; column * kModulePixels < picture.width(); ++column) {
            const QPointF centre((column + 0.5) * kModulePixels, (row + 0.5) * kModulePixels);
            const QPoint onDetail =
                (queue.corner * factor + centre * fine).toPoint() - area.topLeft();
            if (IsDark(picture, centre.x(), centre.y()) !=
                IsDark(detail, onDetail.x(), onDetail.y())) {
                wrong << QStringLiteral("(%1, %2)").arg(column).arg(row);
            }
        }
    }
    if (!wrong.isEmpty()) {
        return QStringLiteral("%1 modules differ from the preview, e.g. %2")
            .arg(wrong.size())
            .arg(wrong.mid(0, 5).join(QStringLiteral(", ")));
    }
    return {};
}

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void printsEachNewPictureAtThePrintableCorner();

  private:
    // Presses Print and waits for the spooler to finish the one job it
    // makes. Returns the PDF's path, or "" with `error` set.
    QString PrintAndCollect(SystemWindow& fixture, QString* error);

    Queue queue_;
};

void PrintTest::initTestCase() {
    QCOMPARE(QApplication::platformName(), QStringLiteral("xcb"));
    const bool margins = qgetenv("QRTEST_PRINT_QUEUE") == "margins";
    queue_.name = qEnvironmentVariable(margins ? "TEST_MARGIN_PRINTER" : "TEST_PRINTER");
    queue_.pdfFolder = qEnvironmentVariable(margins ? "TEST_MARGIN_PDF_DIR" : "TEST_PDF_DIR");
    QVERIFY2(!queue_.name.isEmpty() && QDir(queue_.pdfFolder).exists(),
             "no PDF queue set up: run through scripts/run-tests");
    if (margins) {
        qputenv("PRINTER", queue_.name.toLocal8Bit());  // the user's default printer
    } else {
        qunsetenv("PRINTER");
        qunsetenv("LPDEST");
        const ProcessResult lpstat = RunProcess(QStringLiteral("lpstat"), {QStringLiteral("-d")});
        QVERIFY2(lpstat.ok() && lpstat.out.trimmed().endsWith(": " + queue_.name.toLocal8Bit()),
                 qPrintable(lpstat.describe() + QString::fromLocal8Bit(lpstat.out)));
    }
    const QString ppd = ReadPpd(&queue_);
    QVERIFY2(ppd.isEmpty(), qPrintable(ppd));
    if (margins) {
        QVERIFY2(queue_.corner.x() > 0 && queue_.corner.y() > 0 &&
                     queue_.corner.x() != queue_.corner.y(),
                 "the margins queue needs different nonzero left and top margins");
    }
}

QString PrintTest::PrintAndCollect(SystemWindow& fixture, QString* error) {
    const QStringList before = PdfFiles(queue_.pdfFolder);
    MessageBoxCatcher catcher;
    fixture.Click(kPrint);
    if (!catcher.seen().isEmpty()) {
        *error = QStringLiteral("Print reported: ") + catcher.describe();
        return {};
    }
    QStringList added;
    const bool done = QTest::qWaitFor(
        [&] {
            added = PdfFiles(queue_.pdfFolder);
            for (const QString& old : before) {
                added.removeAll(old);
            }
            if (added.isEmpty()) {
                return false;
            }
            const ProcessResult jobs =
                RunProcess(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue_.name});
            return jobs.ok() && jobs.out.trimmed().isEmpty();
        },
        30000);
    if (!done || added.size() != 1) {
        *error = QStringLiteral("expected one new PDF in %1 within 30 s, found: %2")
                     .arg(queue_.pdfFolder, added.join(QStringLiteral(", ")));
        return {};
    }
    return QDir(queue_.pdfFolder).filePath(added.first());
}

void PrintTest::printsEachNewPictureAtThePrintableCorner() {
    SystemWindow fixture;
    QVERIFY2(fixture.error().isEmpty(), qPrintable(fixture.error()));
    // Two pictures of different pixel sizes: both print 1.34375 inch wide,
    // and the second Print prints the second picture.
    const QList<QPair<QString, QString>> pictures = {
        {QStringLiteral("печать"), QStringLiteral("1")},
        {QStringLiteral("Вторая картинка печатается второй: 0123456789"), QStringLiteral("5")},
    };
    QImage previous;
    for (const auto& [text, sizeItem] : pictures) {
        const QString created = fixture.Create(text, sizeItem);
        QVERIFY2(created.isEmpty(), qPrintable(created));
        const QImage preview = fixture.Preview();
        QVERIFY(preview != previous);
        QString error;
        const QString pdf = PrintAndCollect(fixture, &error);
        QVERIFY2(!pdf.isEmpty(), qPrintable(error));
        const QString wrong = CheckPrintedPage(pdf, preview, queue_);
        QFile::remove(pdf);
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(QStringLiteral("\"%1\" on %2: %3").arg(text, queue_.name, wrong)));
        previous = preview;
    }
}

QRGENERATOR_SYSTEM_TEST_MAIN(PrintTest)
#include "print_test.moc"
