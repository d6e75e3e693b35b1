cadrix_add_test(extraction_naming_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/extraction_naming_test.cpp"
  LIBS cadrix_engine
  LABELS engine)
