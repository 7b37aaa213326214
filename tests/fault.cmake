# Fault and security tests drive helper programs and the real program.
add_executable(fault_client ${CMAKE_CURRENT_SOURCE_DIR}/base/probe/fault_client.cpp)
set_target_properties(fault_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(tst_faultsingleinstance fault_client singleinstance_probe lumivo)

# Storage faults: run in a private mount namespace where allowed (see the script).
add_executable(tst_faultstorage ${CMAKE_CURRENT_SOURCE_DIR}/fault/tst_faultstorage.cpp
                                ${CMAKE_CURRENT_SOURCE_DIR}/fault/storagefault.cpp)
target_link_libraries(tst_faultstorage PRIVATE lumivo_base Qt5::Test)
target_compile_options(tst_faultstorage PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(tst_faultstorage PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(tst_faultstorage lumivo)
add_test(NAME tst_faultstorage
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/fault/run-private-mounts.sh ${LUMIVO_TEST_RUNNER} $<TARGET_FILE:tst_faultstorage>)
set_tests_properties(tst_faultstorage PROPERTIES TIMEOUT 120 LABELS fault
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMIVO_BUILD_DIR=${CMAKE_BINARY_DIR};LUMIVO_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
