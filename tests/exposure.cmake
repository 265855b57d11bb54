kindler_test(exposure_test ${CMAKE_SOURCE_DIR}/tests/exposure_test.cpp)
