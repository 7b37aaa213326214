# Installs into a temporary DESTDIR, validates the desktop files and starts the
# installed program headless (tests/install_test.sh). Run alone: it starts a full
# program and two installs, and other process tests time their logs.
add_test(NAME install_layout COMMAND ${LUMIVO_TEST_RUNNER} ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh)
set_tests_properties(install_layout PROPERTIES TIMEOUT 300 LABELS install RUN_SERIAL TRUE
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMIVO_BUILD_DIR=${CMAKE_BINARY_DIR};LUMIVO_SOURCE_DIR=${CMAKE_SOURCE_DIR};LUMIVO_APP_ID=${LUMIVO_APP_ID};LUMIVO_SYSTEM_PREFIX=${LUMIVO_SYSTEM_PREFIX};LUMIVO_VERSION=${PROJECT_VERSION}")
