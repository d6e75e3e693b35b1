# The settings file kept between runs.
cadrix_add_test(settings_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp"
  LIBS cadrix_engine)
