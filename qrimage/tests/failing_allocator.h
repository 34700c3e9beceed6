// An allocator interposed in the test executable: it replaces malloc, calloc,
// realloc, free and the aligned forms for the whole process, so the library
// and everything beneath it (libqrencode, libpng, zlib, iconv, operator new)
// allocate through it. Inside a window it can make one chosen allocation fail
// and keeps a ledger of the blocks allocated in the window, so that whatever
// was not freed by the end of the window is known exactly.
//
// Link it only into a test executable built without sanitizers: they bring
// their own malloc.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qrtest::allocation {

struct WindowReport {
    uint64_t allocations = 0;      // attempted in the window, the failed one included
    bool failureInjected = false;  // the chosen allocation was reached and failed
    uint64_t leakedBlocks = 0;     // allocated in the window and still live at its end
    uint64_t leakedBytes = 0;
    bool ledgerOverflow = false;  // too many live blocks to track: the report is void
};

// Opens a window on the calling thread: the `failAt`-th allocation from now
// on (1 for the next one) returns null; 0 fails none. Only allocations of
// this thread count. Windows do not nest.
void BeginWindow(uint64_t failAt);

// Closes the window and reports on it.
WindowReport EndWindow();

}  // namespace qrtest::allocation
