# The store: checkpoints saved and restored bit for bit, only changed
# tiles written, the refusals, and a save killed half way.
kindler_test(store_test ${CMAKE_SOURCE_DIR}/tests/store_test.cpp LIBS kindler_store)
