# The fast tick against the plain reference tick on random worlds, and the
# server's tick on loaded maps.
kindler_test(fastphys_test ${CMAKE_SOURCE_DIR}/tests/fastphys_test.cpp TIMEOUT 600 LIBS kindler_oracle)
