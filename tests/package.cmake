# The server-only build, its Debian package (cpack), the systemd unit, and
# the unpacked package's server (a build of its own: a few minutes).
# dpkg-shlibdeps (dpkg-dev) and systemd-analyze (systemd) come from
# scripts/deps.sh.
add_test(NAME package COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package/package_test.sh
  ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/package-test ${PROJECT_VERSION})
set_tests_properties(package PROPERTIES TIMEOUT 900 LABELS package)
