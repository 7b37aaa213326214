# The benchmark program is not timed in CI; it is only run briefly so that it keeps working.
if(LUMIVO_BUILD_BENCH)
  add_test(NAME bench_smoke COMMAND ${LUMIVO_TEST_RUNNER} ${CMAKE_CURRENT_SOURCE_DIR}/bench_smoke.sh
           ${CMAKE_BINARY_DIR}/bench/lumivo_bench)
  set_tests_properties(bench_smoke PROPERTIES TIMEOUT 120 LABELS bench)
endif()
