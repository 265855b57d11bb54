# Building the world from a map file, and the shipped maps.
kindler_test(loadmap_test ${CMAKE_SOURCE_DIR}/tests/loadmap_test.cpp)
