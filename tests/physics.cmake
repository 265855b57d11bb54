kindler_test(physics_test ${CMAKE_SOURCE_DIR}/tests/physics_test.cpp LIBS kindler_oracle)
