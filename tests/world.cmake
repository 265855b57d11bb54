# The world, its publication by the tick, and fires from many threads.
kindler_test(world_test ${CMAKE_SOURCE_DIR}/tests/world_test.cpp)
