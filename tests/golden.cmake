kindler_test(golden_test ${CMAKE_SOURCE_DIR}/tests/golden_test.cpp LIBS kindler_oracle)
