# WMA Lossless through the real cadrix_wma.so, decoded with FFmpeg's own
# decoder: every sample back, no warning from FFmpeg; and the WMA writer on a
# file system that fills up.
if(TARGET cadrix_wma)
  pkg_check_modules(WMA_LOSSLESS_AV REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
  cadrix_add_test(wma_lossless_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/wma_lossless_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wma_test_audio.cpp
    LIBS cadrix_plugin_api PkgConfig::WMA_LOSSLESS_AV ${CMAKE_DL_LIBS})
  add_dependencies(wma_lossless_test cadrix_wma)
  target_compile_definitions(wma_lossless_test PRIVATE CADRIX_WMA_MODULE="$<TARGET_FILE:cadrix_wma>")
endif()

if(TARGET cadrix_wma AND TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
  cadrix_add_test(wma_lossless_rip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/wma_lossless_rip_test.cpp
    LIBS cadrix_discgen cadrix_plugin_api)
  add_dependencies(wma_lossless_rip_test cadrix_wma cadrix-rip akrip)
  target_compile_definitions(wma_lossless_rip_test PRIVATE
    CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>"
    CADRIX_WMA_MODULE_DIR="$<TARGET_FILE_DIR:cadrix_wma>")
endif()
