# The program binary: single-instance behaviour of a second start.
if(NOT CADRIX_BUILD_UI)
  return()
endif()
cadrix_add_test(ui_app_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/ui_app_test.cpp"
  LIBS cadrix_ui_logic)
target_include_directories(ui_app_test PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
target_compile_definitions(ui_app_test PRIVATE CADRIX_EXE="$<TARGET_FILE:cadrix>")
add_dependencies(ui_app_test cadrix)
target_link_libraries(ui_app_test PRIVATE fake_akrip_control)
# The window titles as an X server receives them (skipped without Xvfb).
pkg_check_modules(XCB IMPORTED_TARGET xcb)
if(XCB_FOUND)
  target_link_libraries(ui_app_test PRIVATE PkgConfig::XCB)
  target_compile_definitions(ui_app_test PRIVATE CADRIX_HAVE_XCB)
endif()
