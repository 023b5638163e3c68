# package-win: a folder that runs wherever it is unpacked, and its zip,
# build-win/morvane-<version>-win64.zip: the two programs, the Qt DLLs and
# plugins the window loads, and the GCC runtime DLLs the Qt DLLs link to.
# package-installer: the same folder as an installer,
# build-win/morvane-<version>-win64-setup.exe (cmake/WindowsInstaller.cmake).
set(package_name "morvane-${PROJECT_VERSION}-win64")
set(package_dir "${CMAKE_BINARY_DIR}/${package_name}")
set(package_zip "${CMAKE_BINARY_DIR}/${package_name}.zip")

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE runtime_stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE runtime_gcc OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE runtime_pthread OUTPUT_STRIP_TRAILING_WHITESPACE)
# The licence texts the README names for the runtime DLLs: GCC's exception
# and the copyright file of mingw-w64, which makes libwinpthread.
set(runtime_licenses "${PROJECT_SOURCE_DIR}/packaging/windows/GCC-RUNTIME-LIBRARY-EXCEPTION-3.1.txt")
set(MORVANE_MINGW_COPYRIGHT /usr/share/doc/mingw-w64-common/copyright CACHE FILEPATH
    "mingw-w64's copyright file, shipped as the licence of libwinpthread")
if(EXISTS "${MORVANE_MINGW_COPYRIGHT}")
  configure_file("${MORVANE_MINGW_COPYRIGHT}" "${CMAKE_BINARY_DIR}/mingw-w64-copyright.txt" COPYONLY)
  list(APPEND runtime_licenses "${CMAKE_BINARY_DIR}/mingw-w64-copyright.txt")
else()
  message(WARNING "${MORVANE_MINGW_COPYRIGHT} is missing; the package will lack libwinpthread's licence")
endif()
set(qt_bin "${MORVANE_QT_WINDOWS}/bin")
set(qt_plugins "${MORVANE_QT_WINDOWS}/plugins")

set(MORVANE_VERSION "${PROJECT_VERSION}")
configure_file(${PROJECT_SOURCE_DIR}/app/README-windows.txt
               ${CMAKE_BINARY_DIR}/package-README.txt @ONLY NEWLINE_STYLE CRLF)

# LICENSE.txt: Morvane's own terms, those of the Debian copyright file, then
# the notices of the parts of others it ships; the installer's licence page
# shows it.
include(${PROJECT_SOURCE_DIR}/packaging/Maker.cmake)
morvane_license_terms(license_terms)
file(READ ${PROJECT_SOURCE_DIR}/packaging/windows/NOTICES.txt license_notices)
file(READ ${MORVANE_XLSXWRITER_WINDOWS}/License.txt xlsxwriter_license)
# The licence as libxlsxwriter writes it, without its documentation markup.
string(REGEX REPLACE "^/\\*\\*[\n]*@page license License[\n]*" "" xlsxwriter_license "${xlsxwriter_license}")
string(REGEX REPLACE "[\n]*(Next: @ref [a-z]*[\n]*)?\\*/[\n]*$" "\n" xlsxwriter_license "${xlsxwriter_license}")
set(license_title "Morvane ${PROJECT_VERSION}")
string(REGEX REPLACE "." "=" license_rule "${license_title}")
set(license "${license_title}\n${license_rule}\n\n${license_terms}\n\n${license_notices}${xlsxwriter_license}")
string(REPLACE "\n" "\r\n" license "${license}")
file(WRITE ${CMAKE_BINARY_DIR}/package-LICENSE.txt "${license}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/windows/NOTICES.txt ${MORVANE_XLSXWRITER_WINDOWS}/License.txt)

add_custom_target(package-win
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${package_dir}" "${package_zip}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${package_dir}/platforms" "${package_dir}/styles"
          "${package_dir}/licenses"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:morvane> $<TARGET_FILE:morvane-convert>
          "${qt_bin}/Qt6Core.dll" "${qt_bin}/Qt6Gui.dll" "${qt_bin}/Qt6Widgets.dll"
          "${runtime_stdcxx}" "${runtime_gcc}" "${runtime_pthread}" "${package_dir}"
  COMMAND ${CMAKE_COMMAND} -E copy "${qt_plugins}/platforms/qwindows.dll" "${package_dir}/platforms"
  COMMAND ${CMAKE_COMMAND} -E copy "${qt_plugins}/styles/qwindowsvistastyle.dll" "${package_dir}/styles"
  COMMAND ${CMAKE_COMMAND} -E copy "${MORVANE_QT_WINDOWS}/LICENSES/LGPL-3.0-only.txt"
          "${MORVANE_QT_WINDOWS}/LICENSES/GPL-3.0-only.txt" "${package_dir}/licenses"
  COMMAND ${CMAKE_COMMAND} -E copy ${runtime_licenses} "${package_dir}/licenses"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_BINARY_DIR}/package-README.txt" "${package_dir}/README.txt"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_BINARY_DIR}/package-LICENSE.txt" "${package_dir}/LICENSE.txt"
  # The programs carry no debugging information in the package, nor do the
  # runtime DLLs, whose debugging sections would be most of the zip.
  COMMAND ${CMAKE_STRIP} "${package_dir}/morvane.exe" "${package_dir}/morvane-convert.exe"
  COMMAND ${CMAKE_STRIP} --strip-unneeded "${package_dir}/libstdc++-6.dll" "${package_dir}/libgcc_s_seh-1.dll"
          "${package_dir}/libwinpthread-1.dll"
  COMMAND ${CMAKE_COMMAND} -E tar cf "${package_zip}" --format=zip "${package_name}"
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
  DEPENDS morvane morvane-convert
  COMMENT "Packing ${package_zip}"
  VERBATIM)

include(${CMAKE_CURRENT_LIST_DIR}/WindowsInstaller.cmake)
