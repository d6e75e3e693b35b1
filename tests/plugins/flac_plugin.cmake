# cadrix_flac.so end to end: loaded like the host loads it, files read back
# with the flac and metaflac tools, alone and behind cadrix-rip on the demo disc.
if(TARGET cadrix_flac)
  find_program(CADRIX_FLAC_TOOL flac REQUIRED)
  find_program(CADRIX_METAFLAC_TOOL metaflac REQUIRED)
  cadrix_add_test(flac_round_trip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/flac_round_trip_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wma_test_audio.cpp
    LIBS cadrix_plugin_api ${CMAKE_DL_LIBS})
  add_dependencies(flac_round_trip_test cadrix_flac)
  target_compile_definitions(flac_round_trip_test PRIVATE
    CADRIX_FLAC_MODULE="$<TARGET_FILE:cadrix_flac>"
    CADRIX_FLAC_TOOL="${CADRIX_FLAC_TOOL}"
    CADRIX_METAFLAC_TOOL="${CADRIX_METAFLAC_TOOL}")
endif()

if(TARGET cadrix_flac AND TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
  cadrix_add_test(flac_cadrix_rip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/flac_cadrix_rip_test.cpp
    LIBS cadrix_discgen)
  add_dependencies(flac_cadrix_rip_test cadrix_flac cadrix-rip akrip)
  target_compile_definitions(flac_cadrix_rip_test PRIVATE
    CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>"
    CADRIX_FLAC_MODULE_DIR="$<TARGET_FILE_DIR:cadrix_flac>"
    CADRIX_FLAC_TOOL="${CADRIX_FLAC_TOOL}"
    CADRIX_METAFLAC_TOOL="${CADRIX_METAFLAC_TOOL}")
endif()
