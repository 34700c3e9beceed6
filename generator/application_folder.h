// The application folder: where the library is written out and QR.bmp lives.
#pragma once

#include <QString>

// The environment variable that points the program at another application
// folder. Meant for tests, which must not write into the program's own
// folder in the build tree.
inline constexpr char kApplicationFolderVariable[] = "QRGENERATOR_APP_DIR";

// The folder that holds the executable, or the value of QRGENERATOR_APP_DIR
// when that is set and not empty (taken as given, a trailing "/" included).
// Needs a QCoreApplication. GUI thread.
QString ApplicationFolder();

// `folder`, the platform's separator and `name`, joined as they are: nothing
// is added or removed, so a folder ending in "/" gives "//". Any thread.
QString JoinPath(const QString& folder, const QString& name);
