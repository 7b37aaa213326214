# Process-level start-up tests drive the real program and a small single-instance probe.
add_executable(singleinstance_probe ${CMAKE_CURRENT_SOURCE_DIR}/base/probe/singleinstance_probe.cpp)
target_link_libraries(singleinstance_probe PRIVATE lumivo_base)
set_target_properties(singleinstance_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(tst_startup singleinstance_probe lumivo)
