# No GoogleTest library is packaged for the Windows target: build it from
# Debian's googletest sources with the cross compiler.
set(MORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${MORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its own list file names the targets GTest::gtest and GTest::gtest_main.
