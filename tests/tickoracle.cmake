# The server's tick against the plain reference tick, byte for byte: on
# random worlds of the tick's own (every path this processor runs), and on
# loaded maps.
kindler_test(tickoracle_test ${CMAKE_SOURCE_DIR}/tests/tickoracle_test.cpp TIMEOUT 600 LIBS kindler_oracle)
kindler_test(maporacle_test ${CMAKE_SOURCE_DIR}/tests/maporacle_test.cpp TIMEOUT 600 LIBS kindler_oracle)
