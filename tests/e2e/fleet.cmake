# A fleet of three real servers on a real PostgreSQL (skipped with one line
# where postgresql is not installed).
kindler_test(fleet_test ${CMAKE_SOURCE_DIR}/tests/e2e/fleet_test.cpp SERVER TIMEOUT 240 LIBS kindler_webclient kindler_fleet kindler_pgserver Boost::json)
