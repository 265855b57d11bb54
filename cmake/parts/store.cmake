# The store: checkpoints of a game in one SQLite file (Debian's
# libsqlite3-dev), behind the interface of server/store/store.h. Not yet
# part of the server program, so not of its build alone.
if(KINDLER_SERVER_ONLY)
  return()
endif()
find_package(SQLite3 REQUIRED)
add_library(kindler_store STATIC
  ${CMAKE_SOURCE_DIR}/server/store/checkpoint.cpp ${CMAKE_SOURCE_DIR}/server/store/codec.cpp
  ${CMAKE_SOURCE_DIR}/server/store/schema.cpp ${CMAKE_SOURCE_DIR}/server/store/resumerows.cpp
  ${CMAKE_SOURCE_DIR}/server/store/sqlitestore.cpp)
target_link_libraries(kindler_store PUBLIC kindler_core SQLite::SQLite3)
