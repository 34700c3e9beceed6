// qrgenerator: a window that turns a text into a QR code picture.
#include <QApplication>

#include <cstdlib>

#include "application_folder.h"
#include "frmQR.h"
#include "messages.h"
#include "resource_extraction.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QString folder = ApplicationFolder();

    // The program carries its library; write it out beside the program
    // before the window can ask for it.
    const ExtractedFile library = ExtractResourceFile(folder, kLibraryNameId, kLibraryDataId);
    if (!library.error.isEmpty()) {
        Messages::Warn(nullptr, QStringLiteral("msgLibraryNotWritten"),
                       Messages::LibraryNotWritten(library.path, library.error));
        return EXIT_FAILURE;
    }

    frmQR window(folder);
    window.show();
    return application.exec();
}
