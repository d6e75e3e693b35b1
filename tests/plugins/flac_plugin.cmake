# cadrix_flac.so end to end: loaded like the host loads it, files read back
# with libFLAC's decoder and checked with the flac and metaflac tools, alone
# and behind cadrix-rip on the demo disc.
if(TARGET cadrix_flac)
  pkg_check_modules(FLAC_TEST_LIBFLAC REQUIRED IMPORTED_TARGET flac)
  find_program(CADRIX_FLAC_TOOL flac REQUIRED)
  find_program(CADRIX_METAFLAC_TOOL metaflac REQUIRED)
  cadrix_add_test(flac_round_trip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/flac_round_trip_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/flac_test_decoder.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wma_test_audio.cpp
    LIBS cadrix_plugin_api PkgConfig::FLAC_TEST_LIBFLAC ${CMAKE_DL_LIBS})
  add_dependencies(flac_round_trip_test cadrix_flac)
  target_compile_definitions(flac_round_trip_test PRIVATE
    CADRIX_FLAC_MODULE="$<TARGET_FILE:cadrix_flac>"
    CADRIX_FLAC_TOOL="${CADRIX_FLAC_TOOL}")
endif()
