# kindler-maptick: the tick's time on a map file, against the plain reference tick.
if(KINDLER_SERVER_ONLY)
  return()
endif()
add_executable(kindler-maptick ${CMAKE_SOURCE_DIR}/bench/maptick.cpp)
target_link_libraries(kindler-maptick PRIVATE kindler_core kindler_testgame kindler_oracle)
