# cadrix-rip end to end on special files and a file-size limit.
if(TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
  cadrix_add_test(extraction_faults_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/extraction_faults_test.cpp"
    LIBS cadrix_engine cadrix_discgen)
  target_compile_definitions(extraction_faults_test PRIVATE CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>")
  add_dependencies(extraction_faults_test cadrix-rip akrip)
endif()
