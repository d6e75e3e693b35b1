cadrix_add_test(extraction_run_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/extraction_run_test.cpp"
  LIBS cadrix_engine fake_plugin_control
  LABELS threads)
