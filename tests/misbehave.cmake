kindler_test(misbehave_test ${CMAKE_SOURCE_DIR}/tests/misbehave_test.cpp SERVER TIMEOUT 180 LIBS kindler_client)
