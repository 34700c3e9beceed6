// qrgenerator: a window that turns a text into a QR code picture.
#include <QApplication>

#include <cstdlib>

#include "application_folder.h"
#include "frmQR.h"
#include "message_texts.h"
#include "messages.h"
#include "resource_extraction.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const ApplicationFolderChoice choice = ApplicationFolder();
    if (!choice.error.isEmpty()) {
        Messages::Warn(
            nullptr, QStringLiteral("msgFolderNotUsable"),
            Texts::FolderNotUsable(Messages::Utf8(choice.folder), Messages::Utf8(choice.error)));
        return EXIT_FAILURE;
    }
    const QString& folder = choice.folder;

    // The program carries its library; write it out into the application
    // folder before the window can ask for it.
    const ExtractedFile library = ExtractResourceFile(folder, kLibraryNameId, kLibraryDataId);
    if (!library.error.isEmpty()) {
        Messages::Warn(
            nullptr, QStringLiteral("msgLibraryNotWritten"),
            Texts::LibraryNotWritten(Messages::Utf8(library.path), Messages::Utf8(library.error)));
        return EXIT_FAILURE;
    }

    frmQR window(folder);
    window.show();
    return application.exec();
}
