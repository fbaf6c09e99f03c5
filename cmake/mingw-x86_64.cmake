# Cross toolchain for the same sources built for x86-64 (MinGW-w64), which
# the tests run in a 64-bit Wine prefix on hosts that cannot start 32-bit
# programs. The release stays the 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
