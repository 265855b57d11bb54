# Misbehaving clients against the real server (at least 200 s: one test
# makes 200 connections and the listener takes one per second).
kindler_test(hostile_test ${CMAKE_SOURCE_DIR}/tests/e2e/hostile_test.cpp SERVER TIMEOUT 1200 LIBS kindler_client)
if(KINDLER_SANITIZE)
  target_compile_definitions(hostile_test PRIVATE KINDLER_SANITIZED=1)
endif()
