# The world: positions, the grid and its publication, and fires from many
# threads while the tick runs.
kindler_test(world_test ${CMAKE_SOURCE_DIR}/tests/world_test.cpp LIBS kindler_oracle)
