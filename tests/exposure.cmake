# The exposure step: damage from hot cells, credit to the players whose heat is in them.
kindler_test(exposure_test ${CMAKE_SOURCE_DIR}/tests/exposure_test.cpp)
