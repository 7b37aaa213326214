# Fault and security tests drive helper programs and the real program.
add_executable(fault_client ${CMAKE_CURRENT_SOURCE_DIR}/base/probe/fault_client.cpp)
set_target_properties(fault_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(tst_faultsingleinstance fault_client singleinstance_probe)
