#include "application_folder.h"

#include <QCoreApplication>
#include <QDir>

QString ApplicationFolder() {
    const QString overridden = qEnvironmentVariable(kApplicationFolderVariable);
    return overridden.isEmpty() ? QCoreApplication::applicationDirPath() : overridden;
}

QString JoinPath(const QString& folder, const QString& name) {
    return folder + QDir::separator() + name;
}
