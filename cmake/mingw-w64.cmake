# Cross-compiling for Windows with mingw-w64, shared by the two toolchain
# files, which set QRIMAGE_MINGW_PROCESSOR (i686 or x86_64) and include this.
# The -posix compilers are the ones with std::mutex and std::thread. Programs
# built with it run under Wine (scripts/wine-run), which CTest uses as the
# emulator.
set(qrimage_mingw_triple ${QRIMAGE_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QRIMAGE_MINGW_PROCESSOR})
set(CMAKE_C_COMPILER ${qrimage_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${qrimage_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${qrimage_mingw_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${qrimage_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
