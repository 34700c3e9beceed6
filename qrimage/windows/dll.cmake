# The library as a Windows DLL, cross-built with mingw-w64: qrimage32.dll for
# i686, qrimage64.dll for x86_64. libqrencode, libpng and zlib are linked
# statically (scripts/windows-deps builds them), and -static takes the C++
# runtime and winpthread in as well, so the DLL imports system DLLs only.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QRIMAGE_DLL_NAME qrimage32)
  set(QRIMAGE_IMAGE_BASE 0x66C00000)
else()
  set(QRIMAGE_DLL_NAME qrimage64)
  set(QRIMAGE_IMAGE_BASE 0x366C00000)
endif()

set(QRIMAGE_WINDOWS_DEPS "${CMAKE_BINARY_DIR}/deps" CACHE PATH
  "Where scripts/windows-deps puts the static zlib, libpng and libqrencode")
string(REGEX REPLACE "-gcc-posix$" "" QRIMAGE_TRIPLE "${CMAKE_C_COMPILER}")
get_filename_component(QRIMAGE_TRIPLE "${QRIMAGE_TRIPLE}" NAME)
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-deps ${QRIMAGE_TRIPLE} ${QRIMAGE_WINDOWS_DEPS}
  RESULT_VARIABLE deps_result)
if(NOT deps_result EQUAL 0)
  message(FATAL_ERROR "scripts/windows-deps failed for ${QRIMAGE_TRIPLE}")
endif()

# The DLL, its tests and the caller programs in one folder, so that each
# program finds the DLL beside it, as Windows looks for it first.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

add_library(qrimage_dependencies INTERFACE)
target_include_directories(qrimage_dependencies INTERFACE ${QRIMAGE_WINDOWS_DEPS}/include)
target_link_libraries(qrimage_dependencies INTERFACE
  ${QRIMAGE_WINDOWS_DEPS}/lib/libqrencode.a
  ${QRIMAGE_WINDOWS_DEPS}/lib/libpng16.a
  ${QRIMAGE_WINDOWS_DEPS}/lib/libz.a)

add_library(qrimage_objects OBJECT ${QRIMAGE_SOURCES})
target_include_directories(qrimage_objects PUBLIC include PRIVATE src)
target_compile_definitions(qrimage_objects PRIVATE QRIMAGE_BUILDING WIN32_LEAN_AND_MEAN
  NOMINMAX UNICODE _UNICODE)
target_link_libraries(qrimage_objects PUBLIC qrimage_common qrimage_file_replacement qrimage_dependencies)

add_library(qrimage SHARED $<TARGET_OBJECTS:qrimage_objects> src/qrimage.def)
target_include_directories(qrimage PUBLIC include)
target_link_libraries(qrimage PRIVATE qrimage_common qrimage_file_replacement qrimage_dependencies gdi32 advapi32)
set_target_properties(qrimage PROPERTIES
  OUTPUT_NAME ${QRIMAGE_DLL_NAME}
  PREFIX ""
  IMPORT_PREFIX ""
  PUBLIC_HEADER include/qrimage.h)
enable_language(RC)
include(${PROJECT_SOURCE_DIR}/cmake/version_resource.cmake)
qrimage_version_resource(qrimage "QR Code pictures from text")
# Reproducible: no time stamp, a fixed base, no debug information; the
# .def names match the __stdcall symbols without warnings.
target_link_options(qrimage PRIVATE -static -s
  LINKER:--no-insert-timestamp LINKER:--image-base=${QRIMAGE_IMAGE_BASE}
  LINKER:--kill-at LINKER:--enable-stdcall-fixup LINKER:--no-undefined)

# On 32-bit Windows the linker's own import library would name the functions
# without their argument sizes, which a __stdcall caller's references carry
# (_GenerateBMPW@20): dlltool writes one that maps those to the plain names.
# dlltool leaves two empty temporary files behind, so it gets a temporary
# folder of the build's own, removed afterwards.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(dlltool_tmp ${CMAKE_CURRENT_BINARY_DIR}/dlltool-tmp)
  add_custom_command(TARGET qrimage POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dlltool_tmp}
    COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${dlltool_tmp} ${QRIMAGE_TRIPLE}-dlltool --kill-at
      --input-def ${CMAKE_CURRENT_SOURCE_DIR}/src/qrimage.def
      --dllname ${QRIMAGE_DLL_NAME}.dll --output-lib $<TARGET_LINKER_FILE:qrimage>
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dlltool_tmp}
    VERBATIM)
endif()

install(TARGETS qrimage
  RUNTIME DESTINATION .
  ARCHIVE DESTINATION .
  PUBLIC_HEADER DESTINATION .)

# The CMake package of the zip (lib/cmake/qrimage/): one file for both
# DLLs, so its version check takes either bitness.
include(CMakePackageConfigHelpers)
write_basic_package_version_file(qrimageConfigVersion.cmake COMPATIBILITY SameMajorVersion
  ARCH_INDEPENDENT)
install(FILES windows/qrimageConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/qrimageConfigVersion.cmake
  DESTINATION cmake)

if(QRIMAGE_BUILD_TESTS)
  add_subdirectory(tests/windows)
endif()
