# The protocol against the real server: the shipped map, still maps, and a
# small game.
kindler_test(e2e_protocol_test ${CMAKE_SOURCE_DIR}/tests/e2e/protocol_test.cpp SERVER TIMEOUT 120 LIBS kindler_client)
