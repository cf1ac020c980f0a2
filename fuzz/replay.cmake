# Runs a fuzz target once on every file of the folders in INPUTS (a list):
#   cmake -DFUZZER=path/to/fuzz_x -DINPUTS="dir1;dir2" -P replay.cmake
# Fails when the target fails on any of them. Files are passed by name, so
# the target runs each one and never writes into the folders.
set(files)
foreach(folder IN LISTS INPUTS)
  file(GLOB found LIST_DIRECTORIES false ${folder}/*)
  list(FILTER found EXCLUDE REGEX "/README[^/]*$")
  list(APPEND files ${found})
endforeach()
list(LENGTH files count)
if(count EQUAL 0)
  message(STATUS "no inputs in ${INPUTS}")
  return()
endif()
execute_process(COMMAND ${FUZZER} -rss_limit_mb=2048 -timeout=10 ${files} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}) on one of ${count} inputs")
endif()
message(STATUS "${count} inputs replayed")
