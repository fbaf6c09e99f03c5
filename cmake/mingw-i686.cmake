# Cross toolchain for the 32-bit Windows deliverables (MinGW-w64, i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
