# The page in a real browser: tests/web/browser_test.mjs under node drives
# Debian's chromium headless (puppeteer-core, installed by scripts/deps.sh)
# against the real server on ports 3140 and 3141, so it never runs beside
# the server groups. Its screenshot of a game on the valley map is left in
# the build directory (and where KINDLER_SCREENSHOT says).
find_program(NODE_EXECUTABLE node)
if(NODE_EXECUTABLE)
  add_test(NAME browser
    COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/web/browser_test.mjs
      $<TARGET_FILE:kindler-server> ${CMAKE_SOURCE_DIR}/maps/valley.map ${CMAKE_BINARY_DIR}/browser.png)
  set_tests_properties(browser PROPERTIES RESOURCE_LOCK port3140 LABELS browser TIMEOUT 300)
endif()
