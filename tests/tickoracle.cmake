# The server's tick against the plain reference tick, byte for byte, on
# random worlds and on loaded maps.
kindler_test(tickoracle_test ${CMAKE_SOURCE_DIR}/tests/tickoracle_test.cpp TIMEOUT 600 LIBS kindler_oracle)
