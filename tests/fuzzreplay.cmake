# The fuzzers' corpora replayed by the ordinary build (any compiler): one
# test per fuzz target, its source compiled with a small gtest main that
# feeds it every file of fuzz/corpus/<target>/.
foreach(target map_fuzz command_fuzz session_fuzz)
  kindler_test(fuzzreplay_${target}
    ${CMAKE_SOURCE_DIR}/tests/fuzzreplay_test.cpp
    ${CMAKE_SOURCE_DIR}/fuzz/${target}.cpp
    ${CMAKE_SOURCE_DIR}/fuzz/fuzzoptions.cpp)
  target_compile_definitions(fuzzreplay_${target} PRIVATE
    FUZZCORPUS="${CMAKE_SOURCE_DIR}/fuzz/corpus/${target}")
endforeach()
