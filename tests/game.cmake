# Games as records: two games served at once in one process, on ports of
# their own (never 3140), each dropped cleanly.
kindler_test(game_test ${CMAKE_SOURCE_DIR}/tests/game_test.cpp TIMEOUT 120 LIBS kindler_web kindler_webclient)
