// Where 32-bit programs run emulated (scripts/run32 sets
// QRIMAGE_32BIT_EMULATED), qemu-i386 7.2 cannot run some cases of a 32-bit
// Wine process. They are left out of the run, saying so in a line that the
// test summary reads. GTEST_SKIP cannot say it there: it reports through
// OutputDebugString, whose exception crashes such a process as well.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

// Call after InitGoogleTest. `pattern`: the cases, as a gtest filter; `why`:
// the reason shown. Said only where the filter names no cases, which leaves
// those in.
inline void LeaveOutWhereEmulated(const char* pattern, const char* why) {
    if (GetEnvironmentVariableW(L"QRIMAGE_32BIT_EMULATED", nullptr, 0) == 0) {
        return;
    }
    std::string filter = GTEST_FLAG_GET(filter);
    if (filter == "*" || filter.front() == '-') {
        std::printf("[  SKIPPED ] %s (%s)\n", pattern, why);
    }
    filter += filter.find('-') == std::string::npos ? "-" : ":";
    GTEST_FLAG_SET(filter, filter + pattern);
}
