# The maker's name, address and web page are the ones the window shows; they
# are read from there so that neither package can drift from the program.
# Sets MORVANE_COPYRIGHT_YEAR, MORVANE_MAKER, MORVANE_MAIL_ADDRESS and
# MORVANE_WEB_ADDRESS.
file(STRINGS ${PROJECT_SOURCE_DIR}/ui/MainAssets.h main_assets REGEX "inline constexpr char k")
foreach(line IN LISTS main_assets)
  if(line MATCHES "kCopyright\\[\\] = \"[^\"]* ([0-9][0-9][0-9][0-9]) ([^\"]+)\"")
    set(MORVANE_COPYRIGHT_YEAR ${CMAKE_MATCH_1})
    set(MORVANE_MAKER ${CMAKE_MATCH_2})
  elseif(line MATCHES "kMailAddress\\[\\] = \"([^\"]+)\"")
    set(MORVANE_MAIL_ADDRESS ${CMAKE_MATCH_1})
  elseif(line MATCHES "kWebAddress\\[\\] = \"([^\"]+)\"")
    set(MORVANE_WEB_ADDRESS ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT (MORVANE_MAKER AND MORVANE_MAIL_ADDRESS AND MORVANE_WEB_ADDRESS))
  message(FATAL_ERROR "packaging: the maker's name, e-mail or web address was not found in ui/MainAssets.h")
endif()

# Morvane's own licence terms (packaging/LICENSE.in) as text in `var`, one
# source for the Debian copyright file and the Windows LICENSE.txt.
function(morvane_license_terms var)
  file(READ ${PROJECT_SOURCE_DIR}/packaging/LICENSE.in terms)
  string(CONFIGURE "${terms}" terms @ONLY)
  set(${var} "${terms}" PARENT_SCOPE)
endfunction()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/ui/MainAssets.h ${PROJECT_SOURCE_DIR}/packaging/LICENSE.in)
