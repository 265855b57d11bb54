# The engine's copies of a world: snapshot and restore, a round's reset,
# the benchmarks' whole copy.
kindler_test(snapshot_test ${CMAKE_SOURCE_DIR}/tests/snapshot_test.cpp)
