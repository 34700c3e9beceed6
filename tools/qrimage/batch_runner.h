// The batch: one picture per record of a list, on several threads.
#pragma once

#include "options.h"

namespace qrtool {

// Reads the records of options.batchList ("-": standard input), one per line
// or, with options.nulSeparated, one per NUL-terminated record, and writes
// each one's picture to the file that options.output names for its line
// number, on options.jobs threads (0: one per core). A record that fails is
// reported on standard error as "LIST:LINE: reason" and skipped. On a
// terminal, standard error also shows a progress line. Returns the exit
// status: 0 when every record was written, 1 otherwise.
int RunBatch(const Options& options);

}  // namespace qrtool
