# What a rip for a music library parses: the cover archive's index and the
# images it names, and the tags of finished FLAC, Ogg and WMA files that
# ReplayGain rewrites, over arbitrary bytes.
if(TARGET cadrix_engine)
  cadrix_add_fuzzer(cover_art_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/cover_art_fuzz.cpp"
    LIBS cadrix_engine)
endif()
if(TARGET cadrix_flac_core AND TARGET cadrix_ogg_core AND TARGET cadrix_wmsdk_internals)
  cadrix_add_fuzzer(tag_rewrite_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/tag_rewrite_fuzz.cpp"
    LIBS cadrix_flac_core cadrix_ogg_core cadrix_wmsdk_internals)
endif()
