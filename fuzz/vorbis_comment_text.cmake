# The tag text conversion of cadrix_ogg and cadrix_flac over arbitrary bytes.
if(TARGET cadrix_vorbis_tags)
  cadrix_add_fuzzer(vorbis_comment_text_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/vorbis_comment_text_fuzz.cpp"
    LIBS cadrix_vorbis_tags)
endif()
