kindler_test(startup_test ${CMAKE_SOURCE_DIR}/tests/startup_test.cpp SERVER TIMEOUT 120)
