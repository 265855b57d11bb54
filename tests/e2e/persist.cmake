# The server with a store: restart after SIGTERM, refusals at start-up,
# kill -9 at random moments (KINDLER_KILL_ROUNDS rounds, 3 when unset;
# `make soak` runs 50), a store that cannot be written, --fresh.
kindler_test(persist_test ${CMAKE_SOURCE_DIR}/tests/e2e/persist_test.cpp SERVER TIMEOUT 300 LIBS kindler_client kindler_store kindler_webclient)
