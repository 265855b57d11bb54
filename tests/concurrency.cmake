kindler_test(concurrency_test ${CMAKE_SOURCE_DIR}/tests/concurrency_test.cpp LIBS kindler_oracle)
