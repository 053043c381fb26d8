# Cross-compiles for 64-bit Windows with Debian's mingw-w64 compilers. The "-posix" variants
# use winpthreads, which std::thread and std::mutex need; the default ones lack them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MAV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MAV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MAV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MAV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MAV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable carries the C++ runtime and winpthreads in itself: nothing to ship beside
# it, and Wine needs no DLL search path to run the tests.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The built programs run under Wine here (tests, test discovery).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
