# AccurateRip's ids and sums against published values and whipper's
# accuraterip-checksum, its database files, and the offsets kept per drive.
if(TARGET cadrix_discgen)
  cadrix_add_test(accuraterip_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/accuraterip_test.cpp"
    LIBS cadrix_engine cadrix_discgen)
endif()
