#include <signal.h>

#include "run_tool.h"

int main(int argc, char** argv) {
    // A reader that goes away is a failure to write, reported like any other.
    signal(SIGPIPE, SIG_IGN);
    return qrtool::RunTool(argc, argv);
}
