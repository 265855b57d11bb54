# kindler-mapfetch: a timed client run of the map answers.
add_executable(kindler-mapfetch ${CMAKE_SOURCE_DIR}/bench/mapfetch.cpp)
target_link_libraries(kindler-mapfetch PRIVATE kindler_client)
