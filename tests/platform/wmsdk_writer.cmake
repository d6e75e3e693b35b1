# The Windows Media writer stand-in: profile loading, the ASF file it writes,
# its state rules and its encoding thread.
if(TARGET cadrix_wmsdk)
  cadrix_add_test(wmsdk_profile_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/wmsdk_profile_test.cpp
    LIBS cadrix_wmsdk_internals)
  cadrix_add_test(wmsdk_writer_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/wmsdk_writer_test.cpp
    LIBS cadrix_wmsdk_internals
    LABELS threads)
endif()
