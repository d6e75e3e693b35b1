cadrix_add_test(extraction_plugin_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/extraction_plugin_test.cpp"
  LIBS cadrix_engine fake_akrip_control fake_plugin_control
  LABELS threads)
