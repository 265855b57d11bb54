# The game that in-process tests, benchmarks and fuzzers play on.
add_library(kindler_testgame STATIC ${CMAKE_SOURCE_DIR}/tests/support/testgame.cpp)
target_include_directories(kindler_testgame PUBLIC ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(kindler_testgame PUBLIC kindler_core)
