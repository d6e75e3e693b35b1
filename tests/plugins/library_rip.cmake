# Rips for a music library: ReplayGain, tags and pictures of cadrix-rip's
# files as mutagen reads them, measured against FFmpeg.
if(TARGET cadrix_flac AND TARGET cadrix_ogg AND TARGET cadrix_wma AND TARGET cadrix-rip AND TARGET akrip
   AND TARGET cadrix_discgen)
  find_program(CADRIX_FLAC_TOOL flac REQUIRED)
  cadrix_add_test(library_rip_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/library_rip_test.cpp
    LIBS cadrix_discgen)
  add_dependencies(library_rip_test cadrix_flac cadrix_ogg cadrix_wma cadrix-rip akrip)
  target_compile_definitions(library_rip_test PRIVATE
    CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>"
    CADRIX_MODULE_DIR="$<TARGET_FILE_DIR:cadrix_flac>"
    CADRIX_FLAC_TOOL="${CADRIX_FLAC_TOOL}"
    CADRIX_TEST_PYTHON="${CADRIX_SYSTEM_PYTHON}"
    CADRIX_TAG_DUMP="${CMAKE_CURRENT_LIST_DIR}/tag_dump.py")
endif()

# TagLib as a third reader of the pictures.
pkg_check_modules(CADRIX_TEST_TAGLIB IMPORTED_TARGET taglib)
if(TARGET library_rip_test AND CADRIX_TEST_TAGLIB_FOUND)
  add_executable(cadrix_taglib_picture ${CMAKE_CURRENT_LIST_DIR}/taglib_picture.cpp)
  target_link_libraries(cadrix_taglib_picture PRIVATE PkgConfig::CADRIX_TEST_TAGLIB)
  add_dependencies(library_rip_test cadrix_taglib_picture)
  target_compile_definitions(library_rip_test PRIVATE CADRIX_TAGLIB_PICTURE="$<TARGET_FILE:cadrix_taglib_picture>")
endif()
if(TARGET library_rip_test)
  target_include_directories(library_rip_test PRIVATE "${PROJECT_SOURCE_DIR}/tests/support")
  target_compile_definitions(library_rip_test PRIVATE CADRIX_LOOKUP_PYTHON="${CADRIX_SYSTEM_PYTHON}"
    CADRIX_LOOKUP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/lookup_server.py"
    CADRIX_LOOKUP_REPLIES="${PROJECT_SOURCE_DIR}/tests/engine/names/lookup_replies")
endif()
