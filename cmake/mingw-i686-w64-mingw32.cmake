# Cross-compiling for i686 Windows with mingw-w64.
set(QRIMAGE_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
