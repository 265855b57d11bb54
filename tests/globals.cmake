# No process globals: nm finds no symbol in a writable data section of the
# server's libraries (the program's own main.cpp aside).
add_test(NAME globals_test COMMAND sh ${CMAKE_SOURCE_DIR}/tests/globals/globals_test.sh ${CMAKE_NM}
  $<TARGET_FILE:kindler_shared> $<TARGET_FILE:kindler_core> $<TARGET_FILE:kindler_streamworld>
  $<TARGET_FILE:kindler_stream> $<TARGET_FILE:kindler_web> $<TARGET_FILE:kindler_store>)
