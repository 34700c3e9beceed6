// The application folder for the Qt program (the rule is app_folder_rule.h).
#pragma once

#include <QString>

#include "app_folder_rule.h"

struct ApplicationFolderChoice {
    QString folder;  // where the library copy and QR.bmp go
    QString error;   // "" when the folder is usable as far as start-up can tell
};

// Chooses the application folder and makes a per-user one (see
// PrepareApplicationFolder). Any thread, but reads the environment.
ApplicationFolderChoice ApplicationFolder();

// JoinPath of app_folder_rule.h for Qt strings (file names in the locale's
// encoding). Any thread.
QString JoinPath(const QString& folder, const QString& name);
