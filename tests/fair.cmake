# The fair policy's takeover and holds, and the resume table's keeping and expiry.
kindler_test(fair_test ${CMAKE_SOURCE_DIR}/tests/fair_test.cpp)
