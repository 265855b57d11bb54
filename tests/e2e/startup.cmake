# Start-up of the real server: progress lines, refused maps, the command
# line, the port.
kindler_test(startup_test ${CMAKE_SOURCE_DIR}/tests/e2e/startup_test.cpp SERVER TIMEOUT 120 LIBS kindler_client)
# Readiness and watchdog pings for a service manager (sd_notify).
kindler_test(service_test ${CMAKE_SOURCE_DIR}/tests/e2e/service_test.cpp SERVER TIMEOUT 60)
