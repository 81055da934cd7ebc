# Writes the tools' version header: the project version and the commit the sources are at
# ("git describe --long": the commit hash, after the latest tag if any, and "-dirty" with
# uncommitted changes; empty outside git). Run at every build, so
# the commit is never that of an earlier configure; the header is rewritten only when its text
# changes, so an unchanged commit rebuilds nothing.
#   cmake -DSOURCE_DIR=... -DINPUT=...in -DOUTPUT=...h -DPROJECT_VERSION=... -P CvdtVersion.cmake
set(CVDT_GIT_COMMIT "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --abbrev=12 --long
                  WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE CVDT_GIT_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE git_result)
  if(NOT git_result EQUAL 0)
    set(CVDT_GIT_COMMIT "")
  endif()
endif()
configure_file(${INPUT} ${OUTPUT} @ONLY)
