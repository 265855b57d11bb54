kindler_test(protocol_test ${CMAKE_SOURCE_DIR}/tests/protocol_test.cpp LIBS kindler_client)
