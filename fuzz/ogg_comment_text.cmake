# The tag text conversion of cadrix_ogg over arbitrary bytes.
if(TARGET cadrix_ogg_core)
  cadrix_add_fuzzer(ogg_comment_text_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/ogg_comment_text_fuzz.cpp"
    LIBS cadrix_ogg_core)
endif()
