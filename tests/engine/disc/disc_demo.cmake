# The demo disc listed through the real akrip.so (when the build has it).
if(TARGET akrip AND TARGET cadrix_discgen)
  cadrix_add_test(disc_demo_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/disc_demo_test.cpp"
    LIBS cadrix_engine cadrix_discgen)
  target_compile_definitions(disc_demo_test PRIVATE
    CADRIX_REAL_MODULE_DIR="${CADRIX_MODULE_OUTPUT_DIR}")
  add_dependencies(disc_demo_test akrip)
endif()
