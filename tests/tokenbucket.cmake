# The token bucket of the players' rate limits.
kindler_test(tokenbucket_test ${CMAKE_SOURCE_DIR}/tests/tokenbucket_test.cpp)
