# A process that ends while a camera streams, by quitting and by destroying the
# application object: it must close the camera first, without crash or hang.
add_executable(camera_exit_probe ${CMAKE_CURRENT_SOURCE_DIR}/camera/probe/camera_exit_probe.cpp)
target_link_libraries(camera_exit_probe PRIVATE lumivo_camera)
target_compile_options(camera_exit_probe PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(camera_exit_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
foreach(mode quit destroy)
  add_test(NAME camera_exit_${mode} COMMAND ${LUMIVO_TEST_RUNNER} $<TARGET_FILE:camera_exit_probe> ${mode})
  set_tests_properties(camera_exit_${mode} PROPERTIES TIMEOUT 60 LABELS camera
    PASS_REGULAR_EXPRESSION "camera closed" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endforeach()
