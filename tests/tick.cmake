# The tick on worked numbers: conduction, attribution, combustion, settling.
kindler_test(tick_test ${CMAKE_SOURCE_DIR}/tests/tick_test.cpp LIBS kindler_oracle)
