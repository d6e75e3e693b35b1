# The scriptable fake of akrip.so, built as a module named exactly akrip.so
# into the fakes folder (never installed), and a variant lacking the
# ReadCDAudioLBAEx export in a folder of its own.
cadrix_add_module(fake_akrip OUTPUT_DIR "${CADRIX_TEST_FAKES_DIR}"
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/fake_akrip.cpp")
set_target_properties(fake_akrip PROPERTIES OUTPUT_NAME akrip)
target_include_directories(fake_akrip PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(fake_akrip PRIVATE akrip_records Threads::Threads)

cadrix_add_module(fake_akrip_no_read_audio OUTPUT_DIR "${CADRIX_TEST_FAKES_DIR}/no_read_audio"
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/fake_akrip.cpp")
set_target_properties(fake_akrip_no_read_audio PROPERTIES OUTPUT_NAME akrip)
target_compile_definitions(fake_akrip_no_read_audio PRIVATE FAKE_AKRIP_WITHOUT_READ_AUDIO)
target_include_directories(fake_akrip_no_read_audio PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(fake_akrip_no_read_audio PRIVATE akrip_records Threads::Threads)

# What a test suite links to script the fake: the control header, the path of
# the fakes folder, and a build dependency on both fake modules.
add_library(fake_akrip_control INTERFACE)
target_include_directories(fake_akrip_control INTERFACE "${CMAKE_CURRENT_LIST_DIR}")
target_compile_definitions(fake_akrip_control INTERFACE
  CADRIX_TEST_FAKES_DIR="${CADRIX_TEST_FAKES_DIR}")
target_link_libraries(fake_akrip_control INTERFACE akrip_records ${CMAKE_DL_LIBS})
add_dependencies(fake_akrip_control fake_akrip fake_akrip_no_read_audio)
