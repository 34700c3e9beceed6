#include "print_picture.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

PrintOutcome PrintPicture(const QImage& picture, QSizeF sizeInInches, const QString& documentName,
                          QString* printerName) {
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    *printerName = defaultPrinter.printerName();
    if (defaultPrinter.isNull()) {
        return PrintOutcome::NoPrinter;
    }
    QPrinter printer(defaultPrinter, QPrinter::HighResolution);
    // Without a usable printer Qt falls back to writing a PDF to no file at
    // all; that is no printer for the user.
    if (!printer.isValid() || printer.outputFormat() != QPrinter::NativeFormat) {
        return PrintOutcome::NoPrinter;
    }
    printer.setDocName(documentName);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);

    QPainter painter;
    if (!painter.begin(&printer)) {
        return PrintOutcome::NotStarted;
    }
    // Qt's print path would otherwise embed the picture as JPEG, greying and
    // blurring the module edges.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRectF target(0, 0, sizeInInches.width() * printer.resolution(),
                        sizeInInches.height() * printer.resolution());
    painter.drawImage(target, picture);
    return painter.end() ? PrintOutcome::Printed : PrintOutcome::NotFinished;
}
