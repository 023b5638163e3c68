# libxlsxwriter as the target xlsxwriter_library: Debian's package on Linux
# (libxlsxwriter-dev), and for Windows the static build beside the project,
# linked with Debian's zlib for Windows (libz-mingw-w64-dev), so that the
# programs stay self-contained.
if(TARGET xlsxwriter_library)
  return()
endif()
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(MORVANE_XLSXWRITER_WINDOWS "${PROJECT_SOURCE_DIR}/../shared/xlsxwriter-mingw" CACHE PATH
    "libxlsxwriter built for Windows with mingw-w64")
  get_filename_component(xlsxwriter_root "${MORVANE_XLSXWRITER_WINDOWS}" ABSOLUTE)
  if(NOT EXISTS "${xlsxwriter_root}/lib/libxlsxwriter.a")
    message(FATAL_ERROR "No libxlsxwriter for Windows in ${xlsxwriter_root}; set MORVANE_XLSXWRITER_WINDOWS")
  endif()
  find_library(MORVANE_WINDOWS_ZLIB NAMES libz.a REQUIRED)
  add_library(xlsxwriter_library STATIC IMPORTED)
  set_target_properties(xlsxwriter_library PROPERTIES
    IMPORTED_LOCATION "${xlsxwriter_root}/lib/libxlsxwriter.a"
    INTERFACE_INCLUDE_DIRECTORIES "${xlsxwriter_root}/include"
    INTERFACE_LINK_LIBRARIES "${MORVANE_WINDOWS_ZLIB}")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
  add_library(xlsxwriter_library INTERFACE)
  target_link_libraries(xlsxwriter_library INTERFACE PkgConfig::XLSXWRITER)
endif()
