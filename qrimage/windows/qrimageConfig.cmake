# The qrimage DLLs for mingw-w64 projects, as the Windows zip lays them out
# (this file in lib/cmake/qrimage/): find_package(qrimage CONFIG) defines the
# imported target qrimage::qrimage, the DLL of the project's own bitness
# (bin32/qrimage32.dll or bin64/qrimage64.dll) with its import library and
# the include folder. A program that links it finds the DLL when it lies
# beside the program.
get_filename_component(qrimage_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(qrimage_bits 32)
else()
  set(qrimage_bits 64)
endif()
if(NOT TARGET qrimage::qrimage)
  add_library(qrimage::qrimage SHARED IMPORTED)
  set_target_properties(qrimage::qrimage PROPERTIES
    IMPORTED_LOCATION "${qrimage_root}/bin${qrimage_bits}/qrimage${qrimage_bits}.dll"
    IMPORTED_IMPLIB "${qrimage_root}/lib/qrimage${qrimage_bits}.dll.a"
    INTERFACE_INCLUDE_DIRECTORIES "${qrimage_root}/include")
endif()
unset(qrimage_root)
unset(qrimage_bits)
