// qrgenerator: a window that turns a text into a QR code picture.
#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <optional>

#include "app_folder_rule.h"
#include "frmQR.h"
#include "prepare_start.h"
#include "resource_file.h"
#include "resources.h"

namespace {

// Keeps Qt from loading plugins (platforms/, imageformats/, ...) from the
// program's own folder, which it searches too: in a folder others may change
// that would run their code as this user. Qt adds the folder while the
// application object is made and loads the platform's plugins right then, so
// taking it out afterwards comes too late; but Qt then takes out again every
// path it knew before and that the program removed. So the folder is made
// known first (as if QT_PLUGIN_PATH named it) and removed at once. Lives
// until the application object exists, then restores QT_PLUGIN_PATH for the
// programs the window starts. (qt.conf needs nothing here: Qt reads the one
// among the program's resources, never one beside it.)
class PluginsOnlyFromQtsFolders {
  public:
    PluginsOnlyFromQtsFolders()
        : folder_(QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath())
                      .absolutePath()),
          wasSet_(qEnvironmentVariableIsSet(kVariable)),
          saved_(qgetenv(kVariable)) {
        qputenv(kVariable, QFile::encodeName(folder_) + (wasSet_ ? ":" + saved_ : QByteArray()));
        QStringList paths = QCoreApplication::libraryPaths();
        paths.removeAll(folder_);
        QCoreApplication::setLibraryPaths(paths);
    }
    ~PluginsOnlyFromQtsFolders() {
        QCoreApplication::removeLibraryPath(folder_);  // should Qt ever keep it after all
        if (wasSet_) {
            qputenv(kVariable, saved_);
        } else {
            qunsetenv(kVariable);
        }
    }
    PluginsOnlyFromQtsFolders(const PluginsOnlyFromQtsFolders&) = delete;
    PluginsOnlyFromQtsFolders& operator=(const PluginsOnlyFromQtsFolders&) = delete;

  private:
    static constexpr char kVariable[] = "QT_PLUGIN_PATH";
    QString folder_;
    bool wasSet_;
    QByteArray saved_;
};

}  // namespace

int main(int argc, char* argv[]) {
    std::optional<PluginsOnlyFromQtsFolders> pluginGuard;
    if (ExecutableFolderOpenToOthers()) {
        pluginGuard.emplace();
    }
    QApplication application(argc, argv);
    pluginGuard.reset();
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
