# Packs the release archive: Knapsel.exe, knapfilt.dll and README.txt with
# Windows line endings, side by side at the top of the zip.
#   cmake -DOUT=x.zip -DBIN=dir-with-binaries -DTEXT=README.txt -DVERSION=1.2.3 -P dist.cmake
get_filename_component(STAGE ${OUT} NAME_WLE)
set(STAGE ${BIN}/../${STAGE})
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY ${BIN}/Knapsel.exe ${BIN}/knapfilt.dll DESTINATION ${STAGE})
file(READ ${TEXT} text)
string(CONFIGURE "${text}" text @ONLY)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${STAGE}/README.txt "${text}")
file(REMOVE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT} --format=zip Knapsel.exe knapfilt.dll README.txt
                WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Release archive: ${OUT}")
