# Tests that boot Debian's stock kernel under qemu with the vivid driver and run
# test programs inside (scripts/vm/run-vm-tests.sh). Programs built here are not
# run on the host. To run more programs in the same VM, append their targets to
# LUMIVO_VM_TEST_TARGETS (e.g. from another tests/*.cmake included after this one
# or directly here).
add_executable(tst_vm_v4l2 ${CMAKE_CURRENT_SOURCE_DIR}/vm/tst_vm_v4l2.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/capture/support/capturetest.cpp)
target_link_libraries(tst_vm_v4l2 PRIVATE lumivo_capture Qt5::Test)
target_include_directories(tst_vm_v4l2 PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/capture/support)
target_compile_options(tst_vm_v4l2 PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(tst_vm_v4l2 PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/vm)

add_executable(tst_vm_watcher ${CMAKE_CURRENT_SOURCE_DIR}/vm/tst_vm_watcher.cpp)
target_link_libraries(tst_vm_watcher PRIVATE lumivo_capture Qt5::Test)
target_compile_options(tst_vm_watcher PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(tst_vm_watcher PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/vm)

list(APPEND LUMIVO_VM_TEST_TARGETS tst_vm_v4l2 tst_vm_watcher)

# One CTest entry boots one VM for all of them, and runs them twice: with raw kernel
# uevents only, then with a udev daemon. It is added once every tests/*.cmake has
# had its say.
function(lumivo_add_vm_test)
  set(programs)
  foreach(t ${LUMIVO_VM_TEST_TARGETS})
    list(APPEND programs $<TARGET_FILE:${t}>)
  endforeach()
  add_test(NAME vm_v4l2_vivid
    COMMAND ${LUMIVO_TEST_RUNNER} bash ${CMAKE_SOURCE_DIR}/scripts/vm/run-vm-tests.sh --timeout 300 --udev-pass ${programs})
  set_tests_properties(vm_v4l2_vivid PROPERTIES TIMEOUT 420 SKIP_RETURN_CODE 77 LABELS vm
    ENVIRONMENT "LUMIVO_BUILD_DIR=${CMAKE_BINARY_DIR};LUMIVO_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
cmake_language(DEFER CALL lumivo_add_vm_test)
