kindler_test(wire_test ${CMAKE_SOURCE_DIR}/tests/wire_test.cpp)
