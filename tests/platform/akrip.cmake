# akrip: the sheet parsers and drive model directly, and akrip.so through
# dlopen as the program loads it.
if(TARGET akrip)
  set(AKRIP_TEST_MODULE_DEFINE "AKRIP_MODULE_PATH=\"$<TARGET_FILE:akrip>\"")

  add_library(akrip_test_fixture STATIC akrip_fixture.cpp)
  target_include_directories(akrip_test_fixture PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
  target_compile_definitions(akrip_test_fixture PRIVATE ${AKRIP_TEST_MODULE_DEFINE})
  target_link_libraries(akrip_test_fixture PUBLIC akrip_records cadrix_test_support GTest::gtest ${CMAKE_DL_LIBS})
  add_dependencies(akrip_test_fixture akrip)

  cadrix_add_test(akrip_core_test SOURCES akrip_core_test.cpp LIBS akrip_core akrip_test_fixture cadrix_discgen)
  cadrix_add_test(akrip_silence_seams_test SOURCES akrip_silence_seams_test.cpp LIBS akrip_core)
  cadrix_add_test(akrip_physical_test SOURCES akrip_physical_test.cpp LIBS akrip_core akrip_test_fixture)
  cadrix_add_test(akrip_module_test SOURCES akrip_module_test.cpp LIBS akrip_test_fixture)
  target_compile_definitions(akrip_module_test PRIVATE ${AKRIP_TEST_MODULE_DEFINE})
  cadrix_add_test(akrip_images_test SOURCES akrip_images_test.cpp LIBS akrip_test_fixture)
  cadrix_add_test(akrip_threads_test SOURCES akrip_threads_test.cpp LIBS akrip_test_fixture Threads::Threads
    LABELS threads)
endif()
