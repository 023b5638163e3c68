# Debian ships no Qt for Windows; a prebuilt one lives beside the project.
# Its host tools (moc, rcc, uic) are the build machine's own.
set(MORVANE_QT_WINDOWS "${PROJECT_SOURCE_DIR}/../shared/qt6-mingw" CACHE PATH
  "Qt 6 built for Windows with mingw-w64")
get_filename_component(MORVANE_QT_WINDOWS "${MORVANE_QT_WINDOWS}" ABSOLUTE)
if(NOT EXISTS "${MORVANE_QT_WINDOWS}/lib/cmake/Qt6/Qt6Config.cmake")
  message(FATAL_ERROR "No Qt for Windows in ${MORVANE_QT_WINDOWS}; set MORVANE_QT_WINDOWS "
                      "or build with -DMORVANE_GUI=OFF")
endif()
list(APPEND CMAKE_PREFIX_PATH "${MORVANE_QT_WINDOWS}")
list(APPEND CMAKE_FIND_ROOT_PATH "${MORVANE_QT_WINDOWS}")
if(NOT QT_HOST_PATH)
  set(QT_HOST_PATH /usr CACHE PATH "Qt host tools")
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
  file(GLOB host_qt_dirs /usr/lib/*/cmake/Qt6HostInfo)
  if(NOT host_qt_dirs)
    message(FATAL_ERROR "No Qt host tools found (Debian: qt6-base-dev-tools); set QT_HOST_PATH_CMAKE_DIR")
  endif()
  list(GET host_qt_dirs 0 host_qt_dir)
  get_filename_component(host_qt_dir "${host_qt_dir}" DIRECTORY)
  set(QT_HOST_PATH_CMAKE_DIR "${host_qt_dir}" CACHE PATH "Qt host tools' CMake files")
endif()
