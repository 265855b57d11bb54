# The lobby's capacity against the real server: port 3140's logins by
# address, and --max-players over web and port 3140 together.
kindler_test(capacity_test ${CMAKE_SOURCE_DIR}/tests/e2e/capacity_test.cpp SERVER TIMEOUT 120
  LIBS kindler_client kindler_webclient)
