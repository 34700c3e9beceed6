# qrimage.exe: the tool for Windows, a console program with a wide entry
# (wmain) that links the DLL of its bitness through the import library.
# -static takes the C++ runtime and winpthread in, so it imports system DLLs
# and the DLL only. Installed as bin32/qrimage.exe or bin64/qrimage.exe, the
# folders of the zip, beside the DLL it loads.
target_compile_definitions(qrimage_tool PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
# RecordReader reads under its own lock; the C runtime has no unlocked getc.
target_compile_definitions(qrimage_tool_parts PRIVATE UNICODE _UNICODE getc_unlocked=getc)
target_link_options(qrimage_tool PRIVATE -municode -static -s LINKER:--no-insert-timestamp)
include(${PROJECT_SOURCE_DIR}/cmake/version_resource.cmake)
qrimage_version_resource(qrimage_tool "QR Code pictures from the command line")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QRIMAGE_TOOL_FOLDER bin32)
else()
  set(QRIMAGE_TOOL_FOLDER bin64)
endif()
# Built beside the DLL, which Windows looks for first in the program's folder.
set_target_properties(qrimage_tool PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
install(TARGETS qrimage_tool RUNTIME DESTINATION ${QRIMAGE_TOOL_FOLDER})

if(QRIMAGE_BUILD_TESTS)
  add_subdirectory(tests/windows)
endif()
