# The burst-then-secure decision against a local AccurateRip stand-in.
if(TARGET cadrix_discgen AND TARGET cadrix_arstandin)
  cadrix_add_test(track_verifier_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/track_verifier_test.cpp"
    LIBS cadrix_engine cadrix_discgen cadrix_arstandin)
  target_compile_definitions(track_verifier_test PRIVATE CADRIX_LOOKUP_PYTHON="${CADRIX_SYSTEM_PYTHON}"
    CADRIX_STATIC_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/static_server.py")
endif()
