# The dialogs, headless (offscreen platform, set by the test's own main).
if(NOT CADRIX_BUILD_UI)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Test)
cadrix_add_test(ui_dialog_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/ui_dialog_test.cpp" "${CMAKE_CURRENT_LIST_DIR}/ui_test_main.cpp"
  LIBS cadrix_ui Qt6::Test fake_akrip_control fake_plugin_control)
target_include_directories(ui_dialog_test PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
# Online names come from the local stand-in for MusicBrainz and gnudb.
target_include_directories(ui_dialog_test PRIVATE "${PROJECT_SOURCE_DIR}/tests/support")
target_compile_definitions(ui_dialog_test PRIVATE CADRIX_PROJECT_VERSION="${PROJECT_VERSION}"
  CADRIX_LOOKUP_PYTHON="${CADRIX_SYSTEM_PYTHON}"
  CADRIX_LOOKUP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/lookup_server.py"
  CADRIX_LOOKUP_REPLIES="${PROJECT_SOURCE_DIR}/tests/engine/names/lookup_replies"
  CADRIX_STATIC_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/static_server.py")
