# The page in a real browser: tests/web/browser_test.mjs (a desktop) and
# tests/web/phone_test.mjs (a phone's touch screen) under node drive
# Debian's chromium headless (puppeteer-core, installed by scripts/deps.sh)
# against the real server on ports 3140 and 3141, so they never run beside
# the server groups. Their screenshots of a game on the valley map are left
# in the build directory (the desktop's also where KINDLER_SCREENSHOT says).
find_program(NODE_EXECUTABLE node)
if(NODE_EXECUTABLE)
  add_test(NAME browser
    COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/web/browser_test.mjs
      $<TARGET_FILE:kindler-server> ${CMAKE_SOURCE_DIR}/maps/valley.map ${CMAKE_BINARY_DIR}/browser.png)
  set_tests_properties(browser PROPERTIES RESOURCE_LOCK port3140 LABELS browser TIMEOUT 300)
  add_test(NAME browser_phone
    COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/web/phone_test.mjs
      $<TARGET_FILE:kindler-server> ${CMAKE_SOURCE_DIR}/maps/valley.map
      ${CMAKE_BINARY_DIR}/phone-portrait.png ${CMAKE_BINARY_DIR}/phone-landscape.png)
  set_tests_properties(browser_phone PROPERTIES RESOURCE_LOCK port3140 LABELS browser TIMEOUT 120)
  # The lobby: the Games panel, the player key, refusals (needs the stream's
  # version 4: JOIN with a key, YOU with a reason).
  add_test(NAME browser_lobby
    COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/web/lobby_test.mjs
      $<TARGET_FILE:kindler-server> ${CMAKE_SOURCE_DIR}/maps/valley.map ${CMAKE_BINARY_DIR})
  set_tests_properties(browser_lobby PROPERTIES RESOURCE_LOCK port3140 LABELS browser TIMEOUT 150)
  # The lobby of a real fleet: a PostgreSQL of its own and three servers
  # (ports 3140, 4140, 5140 and the next ones; skipped without postgresql).
  add_test(NAME browser_fleet
    COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/web/fleet_test.mjs
      $<TARGET_FILE:kindler-server> ${CMAKE_SOURCE_DIR}/maps ${CMAKE_BINARY_DIR})
  set_tests_properties(browser_fleet PROPERTIES RESOURCE_LOCK port3140 LABELS browser TIMEOUT 120 SKIP_RETURN_CODE 77)
endif()
