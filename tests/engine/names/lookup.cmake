# Online name lookup against the local stand-in server, and cadrix-rip's
# lookup end to end when its targets are part of the build.
pkg_check_modules(CADRIX_LOOKUP_TEST_DISCID REQUIRED IMPORTED_TARGET libdiscid)
cadrix_add_test(lookup_test
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/lookup_test.cpp"
  LIBS cadrix_engine PkgConfig::CADRIX_LOOKUP_TEST_DISCID
  LABELS threads)
set(lookup_suites lookup_test)
if(TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
  cadrix_add_test(lookup_cadrix_rip_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/lookup_cadrix_rip_test.cpp"
    LIBS cadrix_engine cadrix_discgen)
  add_dependencies(lookup_cadrix_rip_test cadrix-rip akrip)
  target_compile_definitions(lookup_cadrix_rip_test PRIVATE CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>")
  list(APPEND lookup_suites lookup_cadrix_rip_test)
endif()
foreach(lookup_suite ${lookup_suites})
  target_include_directories(${lookup_suite} PRIVATE "${PROJECT_SOURCE_DIR}/tests/support")
  target_compile_definitions(${lookup_suite} PRIVATE CADRIX_LOOKUP_PYTHON="${CADRIX_SYSTEM_PYTHON}"
    CADRIX_LOOKUP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/lookup_server.py"
    CADRIX_LOOKUP_REPLIES="${CMAKE_CURRENT_LIST_DIR}/lookup_replies")
endforeach()
