# AccurateRip's replies over arbitrary bytes: a disc's database file (and
# the verdicts drawn from it) and the drive offset list.
if(TARGET cadrix_engine)
  cadrix_add_fuzzer(accuraterip_bin_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/accuraterip_bin_fuzz.cpp"
    LIBS cadrix_engine)
  cadrix_add_fuzzer(drive_offsets_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/drive_offsets_fuzz.cpp"
    LIBS cadrix_engine)
endif()
