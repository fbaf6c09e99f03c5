# What the two cross toolchains share: MinGW-w64's tools for the processor
# that the including file names in CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

set(TOOL_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
find_program(CMAKE_C_COMPILER ${TOOL_PREFIX}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${TOOL_PREFIX}-g++-posix)
find_program(CMAKE_RC_COMPILER ${TOOL_PREFIX}-windres)
find_program(CMAKE_DLLTOOL ${TOOL_PREFIX}-dlltool)
foreach(tool CMAKE_CXX_COMPILER CMAKE_RC_COMPILER CMAKE_DLLTOOL)
  if(NOT ${tool})
    message(FATAL_ERROR "${tool} (${TOOL_PREFIX}-*) not found: install the MinGW-w64 ${CMAKE_SYSTEM_PROCESSOR} packages (make deps)")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
