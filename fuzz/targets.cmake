# The fuzz targets: name (fuzz/fuzz_<name>.cpp, seeds in fuzz/corpus/<name>/) and the
# library each one exercises. Used by the libFuzzer build (fuzz/CMakeLists.txt) and by
# the corpus replay tests of the normal build (tests/CMakeLists.txt).
set(LUMIVO_FUZZ_TARGETS
  singleinstance:lumivo_base
  ini:lumivo_base
  mjpg:lumivo_capture
  rawformats:lumivo_capture
  virtualcameras:lumivo_capture
  pipewirepods:lumivo_capture
)
set(LUMIVO_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
