# Fuzzers (clang's libFuzzer). Built only by clang with -DKINDLER_FUZZ=ON,
# usually together with -DKINDLER_SANITIZE=address:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKINDLER_FUZZ=ON -DKINDLER_SANITIZE=address
# Each fuzzer keeps its hand-made corpus in fuzz/corpus/<target>/; the
# ordinary suite replays those files (tests/fuzzreplay.cmake).
if(KINDLER_SERVER_ONLY)
  return()
endif()
option(KINDLER_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(KINDLER_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # Coverage for the code under test; the fuzzer's own main is linked below.
  target_compile_options(kindler_core PRIVATE -fsanitize=fuzzer-no-link)
  target_compile_options(kindler_shared PRIVATE -fsanitize=fuzzer-no-link)
  foreach(target map_fuzz command_fuzz session_fuzz)
    add_executable(${target} ${CMAKE_SOURCE_DIR}/fuzz/${target}.cpp ${CMAKE_SOURCE_DIR}/fuzz/fuzzoptions.cpp)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${target} PRIVATE kindler_core kindler_testgame)
  endforeach()
elseif(KINDLER_FUZZ)
  message(WARNING "KINDLER_FUZZ needs clang (CC=clang CXX=clang++): fuzzers not built")
endif()
