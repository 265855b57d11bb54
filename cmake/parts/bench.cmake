# Benchmarks (Google Benchmark): the tick against the plain reference tick,
# the map answers over loopback, the web stream's codec, and the web
# endpoint under 200 spectators, and the store's checkpoints. `make bench`
# builds and runs them.
if(KINDLER_SERVER_ONLY)
  return()
endif()
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(kindler-bench EXCLUDE_FROM_ALL
    ${CMAKE_SOURCE_DIR}/bench/main.cpp
    ${CMAKE_SOURCE_DIR}/bench/tick_bench.cpp
    ${CMAKE_SOURCE_DIR}/bench/net_bench.cpp
    ${CMAKE_SOURCE_DIR}/bench/stream_bench.cpp
    ${CMAKE_SOURCE_DIR}/bench/web_bench.cpp
    ${CMAKE_SOURCE_DIR}/bench/store_bench.cpp
    ${CMAKE_SOURCE_DIR}/bench/fleet_bench.cpp)
  target_include_directories(kindler-bench PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(kindler-bench PRIVATE kindler_core kindler_testgame kindler_oracle kindler_web kindler_store kindler_fleet kindler_pgserver benchmark::benchmark)
endif()
