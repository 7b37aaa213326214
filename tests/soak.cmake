# The soak test: the real main window driven for LUMIVO_SOAK_SECONDS. In the normal build
# a short smoke run; in the AddressSanitizer tree (scripts/asan.sh) the CI run, with
# leak checking at exit.
if(LUMIVO_FUZZ)
  set(LUMIVO_SOAK_SECONDS 75 CACHE STRING "Seconds the soak test runs")
else()
  set(LUMIVO_SOAK_SECONDS 20 CACHE STRING "Seconds the soak test runs")
endif()
file(GLOB soak_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/soak/*.cpp)
add_executable(tst_soak ${soak_sources})
target_link_libraries(tst_soak PRIVATE lumivo_app Qt5::Test)
target_compile_options(tst_soak PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(tst_soak PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(tst_soak lumivo_translations)
add_test(NAME soak COMMAND ${LUMIVO_TEST_RUNNER} $<TARGET_FILE:tst_soak>)
math(EXPR soak_limit "${LUMIVO_SOAK_SECONDS} + 180")
# A small quarantine keeps the sanitizer's own holding of freed memory out of the
# memory readings; full stacks at every allocation (Qt has no frame pointers) let the
# suppressions name the place that allocated.
set_tests_properties(soak PROPERTIES TIMEOUT ${soak_limit} LABELS soak
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMIVO_BUILD_DIR=${CMAKE_BINARY_DIR};LUMIVO_SOAK_SECONDS=${LUMIVO_SOAK_SECONDS};ASAN_OPTIONS=quarantine_size_mb=16:detect_leaks=1:fast_unwind_on_malloc=0:malloc_context_size=40;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/soak/lsan.supp")
