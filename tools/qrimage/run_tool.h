// The tool's work once its process is prepared.
#pragma once

namespace qrtool {

// Runs the command that `argv` (argc UTF-8 strings, argv[0] the program)
// names and returns the exit status. Failures are reported on standard
// error; nothing is thrown.
int RunTool(int argc, char** argv);

}  // namespace qrtool
