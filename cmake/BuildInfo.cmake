# Build stamp ("yyyy/MM/dd hh:mm:ss") and build number, fixed at configure time:
# the last commit's date and the commit count when git knows the tree.
set(LUMIVO_BUILD_STAMP "2026/03/04 16:21:51")
set(LUMIVO_BUILD_NUMBER 80234)
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${CMAKE_SOURCE_DIR}/.git")
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%cd --date=format:%Y/%m/%d\ %H:%M:%S
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE _stamp RESULT_VARIABLE _rc1
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE _count RESULT_VARIABLE _rc2
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(_rc1 EQUAL 0 AND _stamp MATCHES "^[0-9]+/[0-9]+/[0-9]+ ")
    set(LUMIVO_BUILD_STAMP "${_stamp}")
  endif()
  if(_rc2 EQUAL 0 AND _count MATCHES "^[0-9]+$")
    set(LUMIVO_BUILD_NUMBER ${_count})
  endif()
endif()
configure_file(${CMAKE_SOURCE_DIR}/src/base/buildinfo.h.in ${CMAKE_BINARY_DIR}/generated/buildinfo.h @ONLY)
