# The reply parsers of the online name lookup (MusicBrainz XML, gnudb query
# and xmcd entry) over arbitrary bytes, and the disc file made of what they find.
if(TARGET cadrix_engine)
  cadrix_add_fuzzer(musicbrainz_reply_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/musicbrainz_reply_fuzz.cpp"
    LIBS cadrix_engine)
  cadrix_add_fuzzer(gnudb_reply_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/gnudb_reply_fuzz.cpp"
    LIBS cadrix_engine)
endif()
