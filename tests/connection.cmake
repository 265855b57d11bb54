# The command loop of one connection, in-process, and the command scanner.
kindler_test(connection_test ${CMAKE_SOURCE_DIR}/tests/connection_test.cpp)
