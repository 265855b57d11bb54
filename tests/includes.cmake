# The shape of the code: include circles, file sizes, the codec's folder.
kindler_test(includes_test ${CMAKE_SOURCE_DIR}/tests/includes_test.cpp)
target_compile_definitions(includes_test PRIVATE KINDLER_SOURCE="${CMAKE_SOURCE_DIR}")
