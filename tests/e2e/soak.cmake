# Soak: 16 clients against the real server for KINDLER_SOAK_SECONDS
# seconds (20 when unset; `make soak` runs the 60-second one).
kindler_test(soak_test ${CMAKE_SOURCE_DIR}/tests/e2e/soak_test.cpp SERVER TIMEOUT 600 LIBS kindler_client)
if(KINDLER_SANITIZE)
  target_compile_definitions(soak_test PRIVATE KINDLER_SANITIZED=1)
endif()
