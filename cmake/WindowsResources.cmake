# The program file's icon and version record on Windows, from the project's
# version and the icon picture of assets/.

# An .ico holding `png` as its one image (a format Windows reads since Vista),
# written at build time by the build machine's shell.
function(morvane_make_ico png ico)
  file(SIZE "${png}" size)
  set(header "")
  # ICONDIR: reserved, type 1 (icon), one image.
  foreach(byte 0 0 1 0 1 0)
    string(APPEND header "\\${byte}")
  endforeach()
  # ICONDIRENTRY: 32 x 32, 16 colours, 1 plane, 4 bits, size, data at offset 22.
  math(EXPR b0 "${size} & 255")
  math(EXPR b1 "(${size} >> 8) & 255")
  math(EXPR b2 "(${size} >> 16) & 255")
  math(EXPR b3 "(${size} >> 24) & 255")
  foreach(byte 32 32 16 0 1 0 4 0 ${b0} ${b1} ${b2} ${b3} 22 0 0 0)
    # printf takes octal escapes.
    set(oct "")
    set(n ${byte})
    foreach(i 1 2 3)
      math(EXPR digit "${n} % 8")
      math(EXPR n "${n} / 8")
      string(PREPEND oct "${digit}")
    endforeach()
    string(APPEND header "\\${oct}")
  endforeach()
  add_custom_command(OUTPUT "${ico}"
    COMMAND sh -c "printf '${header}' > '${ico}' && cat '${png}' >> '${ico}'"
    DEPENDS "${png}"
    COMMENT "Making ${ico}"
    VERBATIM)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${png}")
endfunction()

# The icon, the version record with `description` and the manifest of the
# program `target`.
function(morvane_add_windows_resources target png description)
  set(MORVANE_ICO "${CMAKE_CURRENT_BINARY_DIR}/${target}.ico")
  set(MORVANE_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  set(MORVANE_RESOURCE_NAME "${target}")
  set(MORVANE_FILE_DESCRIPTION "${description}")
  morvane_make_ico("${png}" "${MORVANE_ICO}")
  # The MORVANE_*_VERSION* values come from the top-level list file.
  configure_file(${PROJECT_SOURCE_DIR}/app/morvane.manifest ${MORVANE_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/app/morvane.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${MORVANE_ICO};${MORVANE_MANIFEST}")
endfunction()
