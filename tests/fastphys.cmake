# The fast tick against the plain reference tick on random worlds.
kindler_test(fastphys_test ${CMAKE_SOURCE_DIR}/tests/fastphys_test.cpp TIMEOUT 600 LIBS kindler_oracle)
