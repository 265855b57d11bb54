# The exact pair arithmetic of the tick's vector paths against the x87 unit.
kindler_test(pairlanes_test ${CMAKE_SOURCE_DIR}/tests/pairlanes_test.cpp)
