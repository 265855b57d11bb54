# kindler-mapfetch: a timed client run of the map answers.
if(KINDLER_SERVER_ONLY)
  return()
endif()
add_executable(kindler-mapfetch ${CMAKE_SOURCE_DIR}/bench/mapfetch.cpp)
target_link_libraries(kindler-mapfetch PRIVATE kindler_client)
