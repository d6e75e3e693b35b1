# cadrix_ogg.so end to end (loaded like the host loads it, files read back
# with libvorbisfile), alone and behind cadrix-rip on a generated disc.
if(TARGET cadrix_ogg)
  pkg_check_modules(OGG_TEST_VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
  cadrix_add_test(ogg_round_trip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ogg_round_trip_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/ogg_test_decoder.cpp
            ${CMAKE_CURRENT_LIST_DIR}/wma_test_audio.cpp
    LIBS cadrix_plugin_api PkgConfig::OGG_TEST_VORBISFILE ${CMAKE_DL_LIBS})
  add_dependencies(ogg_round_trip_test cadrix_ogg)
  target_compile_definitions(ogg_round_trip_test PRIVATE CADRIX_OGG_MODULE="$<TARGET_FILE:cadrix_ogg>")

  if(TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
    cadrix_add_test(ogg_cadrix_rip_test
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/ogg_cadrix_rip_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/ogg_test_decoder.cpp
      LIBS cadrix_discgen cadrix_plugin_api PkgConfig::OGG_TEST_VORBISFILE)
    add_dependencies(ogg_cadrix_rip_test cadrix_ogg cadrix-rip akrip)
    target_compile_definitions(ogg_cadrix_rip_test PRIVATE
      CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>"
      CADRIX_OGG_MODULE_DIR="$<TARGET_FILE_DIR:cadrix_ogg>")
  endif()
endif()
