# The reader of the suite's ini file ("datadir:" line) over arbitrary bytes.
cadrix_add_fuzzer(ini_data_dir_fuzz
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/ini_data_dir_fuzz.cpp"
          "${PROJECT_SOURCE_DIR}/engine/names/disc_database.cpp"
          "${PROJECT_SOURCE_DIR}/engine/names/genre_table.cpp"
          "${PROJECT_SOURCE_DIR}/engine/names/release_ids.cpp"
          "${PROJECT_SOURCE_DIR}/engine/util/small_file.cpp"
  LIBS akrip_records)
target_include_directories(ini_data_dir_fuzz PRIVATE "${PROJECT_SOURCE_DIR}/engine")
