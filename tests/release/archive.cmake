# The release archive as a user uses it: unpacked into a folder whose path
# has spaces and letters beyond ASCII, Knapsel started from there under Wine,
# the key table checked against it.
#   cmake -DZIP=... -DINTO=... -DWINE=wine.sh -DPREFIX=... -DPROBE=probe.exe -P archive.cmake
file(REMOVE_RECURSE "${INTO}")
file(MAKE_DIRECTORY "${INTO}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${INTO}")
string(REPLACE "/" "\\" exe "Z:${INTO}/Knapsel.exe")
execute_process(COMMAND "${WINE}" "${PREFIX}" "${PROBE}" keys "${exe}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the unpacked Knapsel failed the key table")
endif()
