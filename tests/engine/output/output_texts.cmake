# The estimate and tooltip texts of the output formats.
cadrix_add_test(output_texts_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/output_texts_test.cpp"
  LIBS cadrix_engine)
