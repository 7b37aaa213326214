# The camera facade against vivid, in the same VM as the capture tests (tests/vm.cmake
# runs every target listed in LUMIVO_VM_TEST_TARGETS).
add_executable(tst_vm_camera ${CMAKE_CURRENT_SOURCE_DIR}/camera/vm/tst_vm_camera.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/camera/support/logcapture.cpp)
target_link_libraries(tst_vm_camera PRIVATE lumivo_camera Qt5::Test)
target_include_directories(tst_vm_camera PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/camera)
target_compile_options(tst_vm_camera PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(tst_vm_camera PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/vm)
list(APPEND LUMIVO_VM_TEST_TARGETS tst_vm_camera)
