# The web endpoint against the real server: start-up and HTTP, and the
# live stream (a Beast client in tests/web/webclient).
add_library(kindler_webclient STATIC ${CMAKE_SOURCE_DIR}/tests/web/webclient.cpp)
target_include_directories(kindler_webclient PUBLIC ${CMAKE_SOURCE_DIR}/tests/web)
target_link_libraries(kindler_webclient PUBLIC kindler_beast Threads::Threads)
kindler_test(webhttp_test ${CMAKE_SOURCE_DIR}/tests/web/webhttp_test.cpp SERVER TIMEOUT 120 LIBS kindler_webclient)
kindler_test(webstream_test ${CMAKE_SOURCE_DIR}/tests/web/webstream_test.cpp SERVER TIMEOUT 300
  LIBS kindler_webclient kindler_streamclient kindler_client)
if(KINDLER_SANITIZE)
  target_compile_definitions(webstream_test PRIVATE KINDLER_SANITIZED=1)
endif()
kindler_test(webget_test ${CMAKE_SOURCE_DIR}/tests/web/webget_test.cpp LIBS kindler_web)
kindler_test(admission_test ${CMAKE_SOURCE_DIR}/tests/web/admission_test.cpp LIBS kindler_web)
# Limits of the web port against the real server: JOIN floods, an address
# at its cap, foreign origins, the descriptor reserve, the idle timeout.
kindler_test(weblimits_test ${CMAKE_SOURCE_DIR}/tests/web/weblimits_test.cpp SERVER TIMEOUT 120 LIBS kindler_webclient)
# Resuming web players against the real server.
kindler_test(webresume_test ${CMAKE_SOURCE_DIR}/tests/web/webresume_test.cpp SERVER TIMEOUT 120
  LIBS kindler_webclient kindler_streamclient kindler_client)
