# The map reader: tokens, values, unit types, the map block, start
# positions and the files it refuses.
kindler_test(mapfile_test ${CMAKE_SOURCE_DIR}/tests/mapfile_test.cpp)
