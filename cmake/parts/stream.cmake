# The web stream's codec: the drawn values of the world, the tiles and
# messages sent to pages, the client messages, and a decoder. Pure code
# (no sockets, no threads); the web endpoint links it.
find_package(ZLIB REQUIRED)
add_library(kindler_stream STATIC
  ${CMAKE_SOURCE_DIR}/server/web/drawn.cpp
  ${CMAKE_SOURCE_DIR}/server/web/tiles.cpp
  ${CMAKE_SOURCE_DIR}/server/web/tilecode.cpp
  ${CMAKE_SOURCE_DIR}/server/web/streamcodec.cpp
  ${CMAKE_SOURCE_DIR}/server/web/messages.cpp
  ${CMAKE_SOURCE_DIR}/server/web/clientmsg.cpp
  ${CMAKE_SOURCE_DIR}/server/web/decoder.cpp)
target_include_directories(kindler_stream PUBLIC ${CMAKE_SOURCE_DIR}/server/web)
target_link_libraries(kindler_stream PUBLIC kindler_core ZLIB::ZLIB)
