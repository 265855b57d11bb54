# Tests: GoogleTest through CTest. One executable per test group. CMake's
# own switch -DBUILD_TESTING=OFF (include(CTest), CMakeLists.txt) leaves
# them out, and GoogleTest is then not needed.
if(KINDLER_SERVER_ONLY OR NOT BUILD_TESTING)
  return()
endif()
find_package(GTest REQUIRED)

add_library(kindler_testsupport STATIC ${CMAKE_SOURCE_DIR}/tests/support/support.cpp)
target_include_directories(kindler_testsupport PUBLIC ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(kindler_testsupport PUBLIC kindler_core kindler_testgame kindler_client GTest::gtest)
target_compile_definitions(kindler_testsupport PUBLIC
  KINDLER_SERVER="$<TARGET_FILE:kindler-server>"
  KINDLER_MAPS="${CMAKE_SOURCE_DIR}/maps")
add_dependencies(kindler_testsupport kindler-server)
# A PostgreSQL of a test's or a benchmark's own.
add_library(kindler_pgserver STATIC ${CMAKE_SOURCE_DIR}/tests/support/pgserver.cpp)
target_include_directories(kindler_pgserver PUBLIC ${CMAKE_SOURCE_DIR}/tests/support)

# kindler_test(NAME SOURCES... [SERVER] [TIMEOUT seconds] [LIBS libs...])
# SERVER marks a group that runs the real server on port 3140: such groups
# never run at the same time. Every test runs under a watchdog timeout.
function(kindler_test name)
  cmake_parse_arguments(T "SERVER" "TIMEOUT" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE kindler_testsupport GTest::gtest_main ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_SERVER)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK port3140 LABELS server)
  endif()
endfunction()

# One .cmake per test group: tests/ for the in-process groups, tests/e2e/
# for the groups that run the real server binary.
file(GLOB KINDLER_TEST_GROUPS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cmake ${CMAKE_SOURCE_DIR}/tests/e2e/*.cmake)
foreach(group ${KINDLER_TEST_GROUPS})
  include(${group})
endforeach()
