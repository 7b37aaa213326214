# The fuzz targets built with an ordinary main that replays their seed corpus once:
# a quick regression run in every build (the libFuzzer runs are scripts/asan.sh).
include(${CMAKE_SOURCE_DIR}/fuzz/targets.cmake)
foreach(entry ${LUMIVO_FUZZ_TARGETS})
  string(REPLACE ":" ";" parts ${entry})
  list(GET parts 0 name)
  list(GET parts 1 lib)
  add_executable(fuzzreplay_${name} ${LUMIVO_FUZZ_DIR}/fuzz_${name}.cpp ${LUMIVO_FUZZ_DIR}/fuzzsupport.cpp
                 ${LUMIVO_FUZZ_DIR}/replaymain.cpp)
  target_link_libraries(fuzzreplay_${name} PRIVATE ${lib})
  target_compile_options(fuzzreplay_${name} PRIVATE ${LUMIVO_WARNINGS})
  set_target_properties(fuzzreplay_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME fuzz_replay_${name}
    COMMAND ${LUMIVO_TEST_RUNNER} $<TARGET_FILE:fuzzreplay_${name}> ${LUMIVO_FUZZ_DIR}/corpus/${name})
  set_tests_properties(fuzz_replay_${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
endforeach()
