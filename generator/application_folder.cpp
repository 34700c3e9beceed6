#include "application_folder.h"

#include <QFile>

ApplicationFolderChoice ApplicationFolder() {
    const PreparedFolder prepared = PrepareApplicationFolder();
    return {QFile::decodeName(prepared.folder.c_str()), QString::fromStdString(prepared.error)};
}

QString JoinPath(const QString& folder, const QString& name) {
    return QFile::decodeName(
        JoinPath(QFile::encodeName(folder).toStdString(), QFile::encodeName(name).toStdString())
            .c_str());
}
