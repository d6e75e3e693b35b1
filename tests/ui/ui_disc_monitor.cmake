# The disc monitor's udev source (skips where udev messages cannot be sent).
if(NOT CADRIX_BUILD_UI)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Test)
cadrix_add_test(ui_disc_monitor_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/ui_disc_monitor_test.cpp" "${CMAKE_CURRENT_LIST_DIR}/ui_test_main.cpp"
  LIBS cadrix_ui Qt6::Test)
target_include_directories(ui_disc_monitor_test PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
