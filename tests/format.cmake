# Fails when a C++ file of the project is not as .clang-format lays it out.
#   cmake -DSOURCE=... -DCLANG_FORMAT=clang-format -P format.cmake
file(GLOB_RECURSE files "${SOURCE}/filter/*.cpp" "${SOURCE}/filter/*.h" "${SOURCE}/host/*.cpp"
     "${SOURCE}/tests/*.cpp" "${SOURCE}/tests/*.h" "${SOURCE}/bench/*.cpp")
execute_process(COMMAND "${CLANG_FORMAT}" --dry-run -Werror ${files} RESULT_VARIABLE unformatted)
if(unformatted)
  message(FATAL_ERROR "not formatted as .clang-format says: run clang-format -i on the files above")
endif()
list(LENGTH files count)
message(STATUS "${count} C++ files formatted as .clang-format says")
