# cadrix_wma.so end to end: files written at every profile are decoded with
# FFmpeg and read by mutagen.
if(TARGET cadrix_wma)
  pkg_check_modules(WMA_TEST_AV REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
  cadrix_add_test(wma_round_trip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/wma_round_trip_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wma_test_audio.cpp
    LIBS cadrix_plugin_api PkgConfig::WMA_TEST_AV ${CMAKE_DL_LIBS})
  add_dependencies(wma_round_trip_test cadrix_wma)
  target_compile_definitions(wma_round_trip_test PRIVATE
    CADRIX_WMA_MODULE="$<TARGET_FILE:cadrix_wma>"
    CADRIX_WMA_PYTHON="${CADRIX_SYSTEM_PYTHON}"
    CADRIX_WMA_MUTAGEN_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/wma_mutagen_check.py")
endif()
