# The user interface's Qt-free logic: the single-instance marker.
if(NOT CADRIX_BUILD_UI)
  return()
endif()
cadrix_add_test(ui_logic_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/ui_logic_test.cpp"
  LIBS cadrix_ui_logic)
target_include_directories(ui_logic_test PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
