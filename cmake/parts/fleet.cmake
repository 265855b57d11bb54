# The fleet: games on many hosts sharing their list, their board and their
# players' names in PostgreSQL (Debian's libpq-dev), through a thread of
# their own (server/fleet/).
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
add_library(kindler_fleet STATIC
  ${CMAKE_SOURCE_DIR}/server/fleet/pg.cpp ${CMAKE_SOURCE_DIR}/server/fleet/fleetschema.cpp
  ${CMAKE_SOURCE_DIR}/server/fleet/heartbeat.cpp ${CMAKE_SOURCE_DIR}/server/fleet/outbox.cpp
  ${CMAKE_SOURCE_DIR}/server/fleet/fleetnames.cpp ${CMAKE_SOURCE_DIR}/server/fleet/fleetboard.cpp
  ${CMAKE_SOURCE_DIR}/server/fleet/fleet.cpp)
target_link_libraries(kindler_fleet PUBLIC kindler_core PkgConfig::LIBPQ)
target_link_libraries(kindler-server PRIVATE kindler_fleet)
