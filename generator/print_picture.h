// Printing one picture on the default printer.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>

enum class PrintOutcome {
    Printed,      // the job went to the spooler
    NoPrinter,    // no default printer is available
    NotStarted,   // the printer would not start a job
    NotFinished,  // the job could not be ended and handed over
};

// Prints `picture` on the system's default printer without a dialog and
// without changing any of its settings but the page margins: the picture's
// top-left corner sits at the corner of the printable area (zero margins,
// clamped by the printer to its hardware margins) and it is scaled to
// `sizeInInches`, whatever its own pixel size. Pixels are sent losslessly
// and unsmoothed, so every module prints exact. One page, one job.
// The job is named `documentName`, as the spooler and its queue show it.
// `printerName` receives the printer used (empty when there is none).
// GUI thread; blocks while the job is prepared.
PrintOutcome PrintPicture(const QImage& picture, QSizeF sizeInInches, const QString& documentName,
                          QString* printerName);
