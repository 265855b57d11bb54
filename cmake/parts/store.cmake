# The store: checkpoints of a game in one SQLite file (Debian's
# libsqlite3-dev), behind the interface of server/store/store.h, and the
# thread that takes them while the server runs.
find_package(SQLite3 REQUIRED)
add_library(kindler_store STATIC
  ${CMAKE_SOURCE_DIR}/server/store/checkpoint.cpp ${CMAKE_SOURCE_DIR}/server/store/codec.cpp
  ${CMAKE_SOURCE_DIR}/server/store/schema.cpp ${CMAKE_SOURCE_DIR}/server/store/resumerows.cpp
  ${CMAKE_SOURCE_DIR}/server/store/sqlitestore.cpp ${CMAKE_SOURCE_DIR}/server/store/checkpointer.cpp
  ${CMAKE_SOURCE_DIR}/server/store/checkpointmetrics.cpp
  ${CMAKE_SOURCE_DIR}/server/store/openstate.cpp ${CMAKE_SOURCE_DIR}/server/store/storeboard.cpp
  ${CMAKE_SOURCE_DIR}/server/store/storelobby.cpp)
target_link_libraries(kindler_store PUBLIC kindler_core SQLite::SQLite3)
target_link_libraries(kindler-server PRIVATE kindler_store)
