# Rounds: a round ends at its limit and by burn-out (never by burn-out
# without a fire), players start again, the world is the map's again, the
# board holds the results; on the real server, the console line, the ROUND
# message and /leaderboard.
kindler_test(round_test ${CMAKE_SOURCE_DIR}/tests/round_test.cpp SERVER TIMEOUT 60
  LIBS kindler_web kindler_webclient kindler_streamclient)
