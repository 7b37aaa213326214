# The widget gallery: shows every toolkit widget and writes screenshots (see
# scripts/gallery.sh). Run once offscreen as a smoke test.
add_executable(lumivo_gallery ${CMAKE_CURRENT_SOURCE_DIR}/ui/gallery/gallery.cpp)
target_link_libraries(lumivo_gallery PRIVATE lumivo_app)
target_compile_options(lumivo_gallery PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(lumivo_gallery PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME gallery_smoke COMMAND ${LUMIVO_TEST_RUNNER} sh -c "$<TARGET_FILE:lumivo_gallery> --out \"$LUMIVO_TEST_TMP/shots\" --scale 0.711111 && test -s \"$LUMIVO_TEST_TMP/shots/gallery_0.711111.png\"")
set_tests_properties(gallery_smoke PROPERTIES TIMEOUT 120 LABELS ui
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Renders SVGs to PNGs for the application icon (scripts/make-app-icon.sh).
add_executable(lumivo_svgrender ${CMAKE_CURRENT_SOURCE_DIR}/ui/gallery/svgrender.cpp)
target_link_libraries(lumivo_svgrender PRIVATE Qt5::Gui Qt5::Svg)
target_compile_options(lumivo_svgrender PRIVATE ${LUMIVO_WARNINGS})
set_target_properties(lumivo_svgrender PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
