# The engine's disc side: model, database and the drive set over the fake
# akrip.so.
cadrix_add_test(disc_model_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/disc_model_test.cpp"
  LIBS cadrix_engine fake_akrip_control)
cadrix_add_test(disc_drive_set_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/drive_set_test.cpp"
  LIBS cadrix_engine fake_akrip_control
  LABELS threads)
# Out of the shared tests/ folder, so that the module folder beside the
# executable (../lib/cadrix) is not the build tree's: the missing-library
# case must not find the real akrip.so there.
set_target_properties(disc_drive_set_test PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/disc")
