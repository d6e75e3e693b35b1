# The tag text conversion shared by cadrix_ogg and cadrix_flac, on its own.
if(TARGET cadrix_vorbis_tags)
  cadrix_add_test(vorbis_comment_text_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vorbis_comment_text_test.cpp
    LIBS cadrix_vorbis_tags)
endif()
