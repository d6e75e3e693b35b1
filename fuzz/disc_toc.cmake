# The TOC check and track model over arbitrary TOC bytes from a drive.
cadrix_add_fuzzer(disc_toc_fuzz
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/disc_toc_fuzz.cpp"
          "${PROJECT_SOURCE_DIR}/engine/disc/disc_model.cpp"
  LIBS akrip_records)
target_include_directories(disc_toc_fuzz PRIVATE "${PROJECT_SOURCE_DIR}/engine")
