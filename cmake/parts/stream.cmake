# The web stream's codec (stream/): the drawn values, the tiles and
# messages sent to pages, and the messages pages send. A wire format:
# plain structs, shared/ and zlib, no sockets, no threads, nothing of the
# server. The server draws its world into it (kindler_streamworld,
# cmake/parts/web.cmake); the tests decode it (tests/stream.cmake).
find_package(ZLIB REQUIRED)
add_library(kindler_stream STATIC
  ${CMAKE_SOURCE_DIR}/stream/tiles.cpp
  ${CMAKE_SOURCE_DIR}/stream/tilecode.cpp
  ${CMAKE_SOURCE_DIR}/stream/streamcodec.cpp
  ${CMAKE_SOURCE_DIR}/stream/messages.cpp
  ${CMAKE_SOURCE_DIR}/stream/clientmsg.cpp)
target_include_directories(kindler_stream PUBLIC ${CMAKE_SOURCE_DIR}/stream)
target_link_libraries(kindler_stream PUBLIC kindler_shared ZLIB::ZLIB)
