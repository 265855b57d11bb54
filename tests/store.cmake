# The store: checkpoints saved and restored bit for bit, only changed
# tiles written, the refusals, and a save killed half way.
kindler_test(store_test ${CMAKE_SOURCE_DIR}/tests/store_test.cpp LIBS kindler_store)
# Resume tokens kept in a checkpoint and honoured by the restored game.
kindler_test(resume_test ${CMAKE_SOURCE_DIR}/tests/resume_test.cpp LIBS kindler_store)
