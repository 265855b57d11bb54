# The web stream's codec: drawn values, tiles and frames on random worlds,
# the messages, the pages' messages.
kindler_test(stream_test
  ${CMAKE_SOURCE_DIR}/tests/web/drawn_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/streamcodec_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/frames_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/messages_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/clientmsg_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/web/streamworld.cpp
  LIBS kindler_stream)
