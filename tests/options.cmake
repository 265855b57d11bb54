# The server's command line: options, the map word, --help and --version.
kindler_test(options_test ${CMAKE_SOURCE_DIR}/tests/options_test.cpp)
target_compile_definitions(options_test PRIVATE KINDLER_VERSION="${PROJECT_VERSION}")
