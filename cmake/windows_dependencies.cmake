# Libraries of the Windows build, under the names the folders link against on Linux.
#
# MAV_SQLITE_SOURCE_DIR: a folder holding SQLite's amalgamation (sqlite3.c, sqlite3.h); the
# set-up script makes it from Debian's own source package, the same SQLite version as the
# Linux build's library.
# MAV_GTEST_SOURCE_DIR: GoogleTest's sources as Debian's googletest package installs them.

set(MAV_SQLITE_SOURCE_DIR "" CACHE PATH "Folder with sqlite3.c and sqlite3.h")
set(MAV_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")

if(NOT EXISTS "${MAV_SQLITE_SOURCE_DIR}/sqlite3.c")
  message(FATAL_ERROR "No SQLite amalgamation in MAV_SQLITE_SOURCE_DIR "
                      "(\"${MAV_SQLITE_SOURCE_DIR}\"); scripts/windows makes one.")
endif()

# <windows.h>: no min/max macros (they break std::min), and its rarely used parts left out.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
# mingw-w64's <time.h> declares the POSIX localtime_r (over localtime_s) only on request.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)
# mingw-w64's GCC 12 warns of overlapping copies inside std::string's own inline code at -O2
# (a false positive of that version's -Wrestrict).
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)

add_library(mav_sqlite3 STATIC "${MAV_SQLITE_SOURCE_DIR}/sqlite3.c")
target_include_directories(mav_sqlite3 SYSTEM PUBLIC "${MAV_SQLITE_SOURCE_DIR}")
target_compile_definitions(mav_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(mav_sqlite3 PRIVATE -w)  # third-party code, warnings are not ours
add_library(SQLite::SQLite3 ALIAS mav_sqlite3)

# The ODBC driver manager of Windows (odbc32.dll; under Wine it hands the calls to the
# host's unixODBC).
add_library(mav_odbc INTERFACE)
target_link_libraries(mav_odbc INTERFACE odbc32)
add_library(ODBC::ODBC ALIAS mav_odbc)

if(MAV_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory("${MAV_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL
                   SYSTEM)  # defines GTest::gtest and GTest::gtest_main
endif()

# The Wine prefix (the Windows installation under Wine) the tests run in.
set(MAV_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "Wine prefix of the tests")
