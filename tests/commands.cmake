# The commands, in-process through one connection of the command loop.
kindler_test(commands_test ${CMAKE_SOURCE_DIR}/tests/commands_test.cpp)
