# Cross toolchain for the 32-bit Windows deliverables (MinGW-w64, i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TOOL_PREFIX i686-w64-mingw32)
find_program(CMAKE_C_COMPILER ${TOOL_PREFIX}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${TOOL_PREFIX}-g++-posix)
find_program(CMAKE_RC_COMPILER ${TOOL_PREFIX}-windres)
find_program(CMAKE_DLLTOOL ${TOOL_PREFIX}-dlltool)
foreach(tool CMAKE_CXX_COMPILER CMAKE_RC_COMPILER CMAKE_DLLTOOL)
  if(NOT ${tool})
    message(FATAL_ERROR "${tool} (${TOOL_PREFIX}-*) not found: install the MinGW-w64 i686 packages (make deps)")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
