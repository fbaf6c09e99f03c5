# A second clean cross build of the same sources, in another folder (one
# with a space in its path) and later, must give the same bytes as the first.
#   cmake -DSOURCE=... -DFIRST=build/win32 -DSECOND=... -DZIP=name.zip -P reproducible.cmake
file(REMOVE_RECURSE "${SECOND}")
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${SECOND}" -DCMAKE_BUILD_TYPE=Release
                        "-DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/mingw-i686.cmake"
                COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} --build "${SECOND}" --target dist -j2
                COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
set(differ "")
foreach(file bin/Knapsel.exe bin/knapfilt.dll ${ZIP} SHA256SUMS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${FIRST}/${file}" "${SECOND}/${file}"
                  RESULT_VARIABLE different)
  if(different)
    list(APPEND differ ${file})
  else()
    message(STATUS "same bytes: ${file}")
  endif()
endforeach()
if(differ)
  message(FATAL_ERROR "a second build differs in: ${differ}")
endif()
