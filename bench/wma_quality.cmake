# wma_quality_bench: the three-piece disc, the measurements of decoded files
# and the quality encoder's speed (bench/wma_quality.sh).
if(TARGET cadrix_wmsdk)
  pkg_check_modules(WMA_QUALITY_AV REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
  add_executable(wma_quality_bench ${CMAKE_CURRENT_LIST_DIR}/wma_quality_bench.cpp)
  target_link_libraries(wma_quality_bench PRIVATE cadrix_wmsdk_internals PkgConfig::WMA_QUALITY_AV)
endif()
