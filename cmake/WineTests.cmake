# Test programs of the Windows build run under Wine. Wine keeps QT_*
# variables of the Unix environment from Windows programs, so the platform is
# chosen on the command line and the rest is set up through files.

# The Qt DLLs and the mingw runtime DLLs, gathered in one folder for Wine's
# search path (a list would need ";" inside a ctest environment entry).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                OUTPUT_VARIABLE mingw_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(mingw_gcc_dir "${mingw_libgcc}" DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE mingw_winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
file(GLOB wine_dlls "${MORVANE_QT_WINDOWS}/bin/*.dll" "${mingw_gcc_dir}/libstdc++-6.dll"
     "${mingw_gcc_dir}/libgcc_s_seh-1.dll" "${mingw_winpthread}")
set(MORVANE_WINE_DLLS "${CMAKE_BINARY_DIR}/wine-dlls")
file(MAKE_DIRECTORY "${MORVANE_WINE_DLLS}")
foreach(dll IN LISTS wine_dlls)
  get_filename_component(dll_name "${dll}" NAME)
  file(CREATE_LINK "${dll}" "${MORVANE_WINE_DLLS}/${dll_name}" SYMBOLIC)
endforeach()
# Wine runs quietly in a prefix of the build's own, which test.sh sets up.
set(MORVANE_WINE_ENV "WINEPATH=Z:${MORVANE_WINE_DLLS}" "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
    "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")

# The offscreen platform of Qt for Windows reads no system fonts: it takes the
# fonts in its library folder's fonts/. Give it the build machine's fonts
# there, as the offscreen platform on Linux sees them through fontconfig.
set(MORVANE_WINE_QT_LIBS "${CMAKE_BINARY_DIR}/wine-qt/lib")
file(MAKE_DIRECTORY "${MORVANE_WINE_QT_LIBS}/fonts")
file(GLOB host_fonts /usr/share/fonts/truetype/dejavu/*.ttf /usr/share/fonts/truetype/liberation/*.ttf)
foreach(font IN LISTS host_fonts)
  get_filename_component(font_name "${font}" NAME)
  file(CREATE_LINK "${font}" "${MORVANE_WINE_QT_LIBS}/fonts/${font_name}" SYMBOLIC)
endforeach()

# A qt.conf beside the test programs of `dir`.
function(morvane_wine_qt_conf dir)
  file(WRITE "${dir}/qt.conf"
    "[Paths]\nPrefix=Z:${MORVANE_QT_WINDOWS}\nLibraries=Z:${MORVANE_WINE_QT_LIBS}\n")
endfunction()

# The window program of the build tree, which the application tests start.
morvane_wine_qt_conf("${CMAKE_BINARY_DIR}/app")
