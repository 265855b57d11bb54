kindler_test(loader_test ${CMAKE_SOURCE_DIR}/tests/loader_test.cpp)
