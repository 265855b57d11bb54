# Clients that misbehave against the real server on a burning 200 x 200 map.
kindler_test(misbehave_test ${CMAKE_SOURCE_DIR}/tests/e2e/misbehave_test.cpp SERVER TIMEOUT 180 LIBS kindler_client)
