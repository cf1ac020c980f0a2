# The programs that bench/run_bench.sh runs beside qvolstat: the series
# generator, the from_chars baseline and the comparison of the two row reads.
# Both bench/ and tests/conversion/ need them, so they are defined once.
include_guard(GLOBAL)

add_executable(generate_series ${PROJECT_SOURCE_DIR}/bench/generate_series.cpp)
add_executable(baseline ${PROJECT_SOURCE_DIR}/bench/baseline.cpp)
add_executable(row_paths_check ${PROJECT_SOURCE_DIR}/tests/conversion/row_paths_check.cpp)
target_link_libraries(row_paths_check PRIVATE qstat)
set_target_properties(generate_series baseline row_paths_check PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
