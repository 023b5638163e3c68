# libxlsxwriter as the target xlsxwriter_library: Debian's package on Linux
# (libxlsxwriter-dev), loaded when a workbook is written, and for Windows
# the static build beside the project, linked with Debian's zlib for Windows
# (libz-mingw-w64-dev), so that the programs stay self-contained.
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
  # The library writes its own "[ERROR] ..." lines to the standard error
  # beside the error it returns, which our message already tells. A copy
  # whose every formatted print goes through a call of ours instead
  # (workbook/LibraryMessages.cpp) keeps them from the user; the prints into
  # its files go on as they were.
  set(xlsxwriter_quiet "${CMAKE_BINARY_DIR}/xlsxwriter/libxlsxwriter.a")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/xlsxwriter")
  execute_process(COMMAND ${CMAKE_OBJCOPY} --redefine-sym __mingw_vfprintf=morvane_xlsxwriter_vfprintf
    "${xlsxwriter_root}/lib/libxlsxwriter.a" "${xlsxwriter_quiet}" RESULT_VARIABLE xlsxwriter_objcopy)
  if(NOT xlsxwriter_objcopy EQUAL 0)
    message(FATAL_ERROR "Cannot copy ${xlsxwriter_root}/lib/libxlsxwriter.a with ${CMAKE_OBJCOPY}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${xlsxwriter_root}/lib/libxlsxwriter.a")
  add_library(xlsxwriter_library STATIC IMPORTED)
  set_target_properties(xlsxwriter_library PROPERTIES
    IMPORTED_LOCATION "${xlsxwriter_quiet}"
    INTERFACE_INCLUDE_DIRECTORIES "${xlsxwriter_root}/include"
    INTERFACE_LINK_LIBRARIES "${MORVANE_WINDOWS_ZLIB}")
else()
  # Loaded by its name at run time (workbook/TXlsxwriter.cpp): only the
  # headers, and the name the loader knows the library by.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(XLSXWRITER REQUIRED xlsxwriter)
  find_library(MORVANE_XLSXWRITER_LIBRARY NAMES xlsxwriter HINTS ${XLSXWRITER_LIBRARY_DIRS} REQUIRED)
  execute_process(COMMAND readelf -d "${MORVANE_XLSXWRITER_LIBRARY}" OUTPUT_VARIABLE xlsxwriter_dynamic
    RESULT_VARIABLE xlsxwriter_readelf)
  if(NOT xlsxwriter_readelf EQUAL 0 OR NOT xlsxwriter_dynamic MATCHES "Library soname: \\[([^]]+)\\]")
    message(FATAL_ERROR "Cannot read the soname of ${MORVANE_XLSXWRITER_LIBRARY} (readelf from binutils)")
  endif()
  set(MORVANE_XLSXWRITER_SONAME "${CMAKE_MATCH_1}" CACHE INTERNAL "")
  add_library(xlsxwriter_library INTERFACE)
  target_include_directories(xlsxwriter_library INTERFACE ${XLSXWRITER_INCLUDE_DIRS})
  target_compile_definitions(xlsxwriter_library INTERFACE MORVANE_XLSXWRITER_SONAME="${MORVANE_XLSXWRITER_SONAME}")
  target_link_libraries(xlsxwriter_library INTERFACE ${CMAKE_DL_LIBS})
endif()
