# The quality-based WMA profiles through the real cadrix_wma.so, decoded with
# FFmpeg: no message, every sample, a rate that follows the music, seeking.
if(TARGET cadrix_wma)
  pkg_check_modules(WMA_QUALITY_TEST_AV REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
  cadrix_add_test(wma_quality_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/wma_quality_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wma_test_audio.cpp
    LIBS cadrix_plugin_api PkgConfig::WMA_QUALITY_TEST_AV ${CMAKE_DL_LIBS})
  add_dependencies(wma_quality_test cadrix_wma)
  target_compile_definitions(wma_quality_test PRIVATE CADRIX_WMA_MODULE="$<TARGET_FILE:cadrix_wma>")
endif()
