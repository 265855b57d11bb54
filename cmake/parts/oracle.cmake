# The plain reference tick that the server's tick is compared with. It keeps
# its own cell record; kindler_core is linked only for the bridge that copies
# the server's published grid in and out. The tests, kindler-maptick and
# the benchmarks use it (it needs no GoogleTest).
if(KINDLER_SERVER_ONLY)
  return()
endif()
add_library(kindler_oracle STATIC ${CMAKE_SOURCE_DIR}/tests/oracle/oracle.cpp ${CMAKE_SOURCE_DIR}/tests/oracle/bridge.cpp)
target_include_directories(kindler_oracle PUBLIC ${CMAKE_SOURCE_DIR}/tests/oracle)
target_link_libraries(kindler_oracle PUBLIC kindler_core kindler_testgame)
