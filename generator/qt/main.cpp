// qrgenerator: a window that turns a text into a QR code picture.
#include <QApplication>
#include <QFile>

#include <cstdlib>

#include "frmQR.h"
#include "prepare_start.h"
#include "resource_file.h"
#include "resources.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QByteArray library = LoadResData(kLibraryDataId);
    const PreparedStart start =
        PrepareStart(QFile::encodeName(LoadResString(kLibraryNameId)).toStdString(),
                     std::string_view(library.constData(), std::size_t(library.size())));
    if (start.problem) {
        frmQR::ShowWarning(nullptr, *start.problem);
        return EXIT_FAILURE;
    }
    frmQR window(start.folder, start.libraryPath);
    window.show();
    return application.exec();
}
