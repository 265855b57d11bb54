# The player registry.
kindler_test(player_test ${CMAKE_SOURCE_DIR}/tests/player_test.cpp)
