# The suite's disc database: its files read, written and repaired.
cadrix_add_test(disc_database_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/disc_database_test.cpp"
  LIBS cadrix_engine)
