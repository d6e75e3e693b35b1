# The plug-in's session against a scriptable fake writer, and its profile
# table against the real profile manager.
if(TARGET cadrix_wma_core)
  cadrix_add_test(wma_session_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/wma_session_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wma_fake_writer.cpp
    LIBS cadrix_wma_core cadrix_wmsdk_internals)
endif()
