# The disc database reader over arbitrary bytes, and the track list built
# from the names it yields.
cadrix_add_fuzzer(disc_database_fuzz
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/disc_database_fuzz.cpp"
          "${PROJECT_SOURCE_DIR}/engine/names/disc_database.cpp"
          "${PROJECT_SOURCE_DIR}/engine/disc/disc_model.cpp"
          "${PROJECT_SOURCE_DIR}/engine/names/genre_table.cpp"
          "${PROJECT_SOURCE_DIR}/engine/names/release_ids.cpp"
          "${PROJECT_SOURCE_DIR}/engine/util/small_file.cpp"
  LIBS akrip_records)
target_include_directories(disc_database_fuzz PRIVATE "${PROJECT_SOURCE_DIR}/engine")
