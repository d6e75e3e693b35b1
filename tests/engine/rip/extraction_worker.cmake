cadrix_add_test(extraction_worker_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/extraction_worker_test.cpp"
  LIBS cadrix_engine fake_akrip_control
  LABELS threads)
