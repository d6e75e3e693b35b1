# The writer's profile loader over arbitrary text, as UTF-8 and as UTF-16.
if(TARGET cadrix_wmsdk_internals)
  cadrix_add_fuzzer(wma_profile_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/wma_profile_fuzz.cpp"
    LIBS cadrix_wmsdk_internals)
endif()
