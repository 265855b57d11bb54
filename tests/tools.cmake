# The tools as programs: kindler-map, and kindler-client against the real
# server (play runs inside a private tmux server). The tools' targets are
# defined in cmake/parts/tools.cmake.
find_package(PNG REQUIRED)
kindler_test(tools_test ${CMAKE_SOURCE_DIR}/tests/tools_test.cpp SERVER TIMEOUT 300 LIBS kindler_client PNG::PNG)
target_compile_definitions(tools_test PRIVATE
  KINDLER_MAP_TOOL="$<TARGET_FILE:kindler-map>"
  KINDLER_CLIENT_TOOL="$<TARGET_FILE:kindler-client>")
add_dependencies(tools_test kindler-map kindler-client)
