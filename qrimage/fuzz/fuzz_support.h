// Process set-up shared by the fuzz targets.
#pragma once

#include <string>

namespace qrfuzz {

// Once per fuzz process: the locales, a fixed umask (0022), and removal of
// the shared colour object of this executable when the process exits.
void InitialiseTarget();

// A fresh private folder (under $TMPDIR, else /tmp) that is removed with its
// content when the process exits. Created on first use.
const std::string& ScratchFolder();

}  // namespace qrfuzz
