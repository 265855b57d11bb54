kindler_test(e2e_protocol_test ${CMAKE_SOURCE_DIR}/tests/e2e_protocol_test.cpp SERVER TIMEOUT 120 LIBS kindler_client)
