# The web endpoint of the server (Boost.Beast, Boost.JSON, prometheus-cpp,
# zlib) with the page's files of web/ built into it.
find_package(Boost 1.81 REQUIRED COMPONENTS json)

file(GLOB_RECURSE KINDLER_WEBFILES CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/web ${CMAKE_SOURCE_DIR}/web/*)
list(TRANSFORM KINDLER_WEBFILES PREPEND ${CMAKE_SOURCE_DIR}/web/ OUTPUT_VARIABLE KINDLER_WEBPATHS)
string(REPLACE ";" "|" KINDLER_WEBLIST "${KINDLER_WEBFILES}")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/webassets.cpp
  COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR}/web -DFILES=${KINDLER_WEBLIST}
          -DOUTPUT=${CMAKE_BINARY_DIR}/webassets.cpp -P ${CMAKE_SOURCE_DIR}/cmake/embed.cmake
  DEPENDS ${KINDLER_WEBPATHS} ${CMAKE_SOURCE_DIR}/cmake/embed.cmake
  COMMENT "Building the page's files into the server"
  VERBATIM)

# The server's side of the stream's codec: the world drawn into it, and
# what HELLO tells of the world.
add_library(kindler_streamworld STATIC
  ${CMAKE_SOURCE_DIR}/server/web/drawworld.cpp ${CMAKE_SOURCE_DIR}/server/web/helloinfo.cpp)
target_link_libraries(kindler_streamworld PUBLIC kindler_stream kindler_core)

add_library(kindler_web STATIC
  ${CMAKE_SOURCE_DIR}/server/web/web.cpp ${CMAKE_SOURCE_DIR}/server/web/http.cpp
  ${CMAKE_SOURCE_DIR}/server/web/websession.cpp ${CMAKE_SOURCE_DIR}/server/web/stream.cpp
  ${CMAKE_SOURCE_DIR}/server/web/metrics.cpp
  ${CMAKE_SOURCE_DIR}/server/web/admission.cpp ${CMAKE_SOURCE_DIR}/server/web/origin.cpp
  ${CMAKE_SOURCE_DIR}/server/web/leaderboard.cpp ${CMAKE_SOURCE_DIR}/server/web/games.cpp
  ${CMAKE_BINARY_DIR}/webassets.cpp)
# Boost.Beast for whoever speaks HTTP or WebSocket: the endpoint and the
# tests' client. Instrumented for a sanitizer, GCC takes a boost::optional
# of Beast's HTTP parser for one that may be read uninitialised (it is
# not), and under ThreadSanitizer it warns of every atomic_thread_fence in
# Asio (which ThreadSanitizer does not model; Asio's locks it does).
add_library(kindler_beast INTERFACE)
target_link_libraries(kindler_beast INTERFACE Boost::headers)
if(KINDLER_SANITIZE)
  target_compile_options(kindler_beast INTERFACE -Wno-maybe-uninitialized)
endif()
if(KINDLER_SANITIZE STREQUAL "thread")
  target_compile_options(kindler_beast INTERFACE -Wno-tsan)
endif()
target_link_libraries(kindler_web PUBLIC kindler_streamworld prometheus-cpp::core kindler_beast Boost::json)
target_link_libraries(kindler-server PRIVATE kindler_web)
