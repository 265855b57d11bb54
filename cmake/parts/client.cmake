# The client library: the protocol seen from a client, for the tests and
# the client programs.
if(KINDLER_SERVER_ONLY)
  return()
endif()
add_library(kindler_client STATIC ${CMAKE_SOURCE_DIR}/client/kindlerclient.cpp)
target_include_directories(kindler_client PUBLIC ${CMAKE_SOURCE_DIR}/client)
target_link_libraries(kindler_client PUBLIC kindler_shared)
