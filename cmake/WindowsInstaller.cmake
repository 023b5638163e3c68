# package-installer: build-win/morvane-<version>-win64-setup.exe, made by
# CPack's NSIS generator with the system's makensis from the folder that
# package-win fills. It installs that folder into Program Files\Morvane, adds
# a Start menu entry, "Open with" for .pe files and an uninstall entry; both
# it and its uninstaller take /S. Included by PackageWindows.cmake.
find_program(MORVANE_MAKENSIS makensis)
set(installer_name "${package_name}-setup")
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/CPackInstaller.cmake.in
               ${CMAKE_BINARY_DIR}/CPackInstaller.cmake @ONLY)

if(MORVANE_MAKENSIS)
  add_custom_target(package-installer
    COMMAND ${CMAKE_COMMAND} -E rm -f "${CMAKE_BINARY_DIR}/${installer_name}.exe"
    COMMAND ${CMAKE_CPACK_COMMAND} --config "${CMAKE_BINARY_DIR}/CPackInstaller.cmake"
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
    COMMENT "Making ${CMAKE_BINARY_DIR}/${installer_name}.exe"
    VERBATIM)
  add_dependencies(package-installer package-win)
else()
  add_custom_target(package-installer
    COMMAND ${CMAKE_COMMAND} -E echo "package-installer needs makensis (Debian package nsis)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
