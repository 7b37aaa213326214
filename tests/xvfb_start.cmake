add_test(NAME xvfb_start COMMAND ${LUMIVO_TEST_RUNNER} ${CMAKE_CURRENT_SOURCE_DIR}/xvfb_start.sh $<TARGET_FILE:lumivo>)
set_tests_properties(xvfb_start PROPERTIES TIMEOUT 120 LABELS app)
