# The web stream's codec: drawn values, tiles and frames on random worlds,
# the messages, the pages' messages; and the page's decoder (JavaScript,
# under node) against the C++ encoder.

# A client of the stream in C++ (tests/web/decoder), the mirror of the
# page's web/js/decoder.js.
add_library(kindler_streamclient STATIC ${CMAKE_SOURCE_DIR}/tests/web/decoder.cpp)
target_include_directories(kindler_streamclient PUBLIC ${CMAKE_SOURCE_DIR}/tests/web)
target_link_libraries(kindler_streamclient PUBLIC kindler_stream)

kindler_test(stream_test
  ${CMAKE_SOURCE_DIR}/tests/web/drawn_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/streamcodec_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/frames_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/messages_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/clientmsg_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/streamworld.cpp
  LIBS kindler_streamclient kindler_streamworld)

# A recorded stream for the JavaScript decoder: the messages and what a
# page must hold after each.
add_executable(stream_fixture
  ${CMAKE_SOURCE_DIR}/tests/web/stream_fixture.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/streamworld.cpp)
target_link_libraries(stream_fixture PRIVATE kindler_streamclient kindler_streamworld)
find_program(NODE_EXECUTABLE node)
if(NODE_EXECUTABLE)
  add_test(NAME stream_js_decoder
    COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/web/decoder_test.mjs $<TARGET_FILE:stream_fixture>)
  set_tests_properties(stream_js_decoder PROPERTIES TIMEOUT 300)
endif()
