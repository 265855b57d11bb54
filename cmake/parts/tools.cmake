# Player and operator tools: kindler-map (map files) and kindler-client
# (play, watch, snapshots). Colours and PNG writing are shared.
if(KINDLER_SERVER_ONLY)
  return()
endif()
find_package(PNG REQUIRED)
set(CURSES_NEED_NCURSES TRUE)
set(CURSES_NEED_WIDE TRUE)
find_package(Curses REQUIRED)

add_library(kindler_tools STATIC
  ${CMAKE_SOURCE_DIR}/tools/palette.cpp ${CMAKE_SOURCE_DIR}/tools/mapgen.cpp
  ${CMAKE_SOURCE_DIR}/tools/arguments.cpp)
target_include_directories(kindler_tools PUBLIC ${CMAKE_SOURCE_DIR}/tools)
target_link_libraries(kindler_tools PUBLIC kindler_shared PNG::PNG)

add_executable(kindler-map ${CMAKE_SOURCE_DIR}/tools/kindler-map.cpp)
target_link_libraries(kindler-map PRIVATE kindler_core kindler_tools)

if(TARGET kindler_client)
  add_executable(kindler-client
    ${CMAKE_SOURCE_DIR}/tools/kindler-client.cpp ${CMAKE_SOURCE_DIR}/tools/play.cpp ${CMAKE_SOURCE_DIR}/tools/screen.cpp
    ${CMAKE_SOURCE_DIR}/tools/view.cpp)
  target_include_directories(kindler-client PRIVATE ${CURSES_INCLUDE_DIRS})
  target_link_libraries(kindler-client PRIVATE kindler_client kindler_tools ${CURSES_LIBRARIES} Threads::Threads)
endif()
