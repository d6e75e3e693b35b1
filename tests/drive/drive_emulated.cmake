# Real-drive reads end to end: cadrix-rip and the real akrip.so reading an
# emulated CD-ROM drive (cadrix-drivesim) holding generated discs, proven
# against a local AccurateRip stand-in (static_server.py serving the files
# cadrix_arstandin writes).
if(TARGET cadrix-drivesim AND TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
  cadrix_add_test(drive_emulated_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/drive_emulated_test.cpp"
    LIBS cadrix_discgen cadrix_engine cadrix_arstandin)
  target_compile_definitions(drive_emulated_test PRIVATE
    CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>"
    CADRIX_DRIVESIM_PATH="$<TARGET_FILE:cadrix-drivesim>"
    CADRIX_LOOKUP_PYTHON="${CADRIX_SYSTEM_PYTHON}"
    CADRIX_STATIC_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/static_server.py")
  add_dependencies(drive_emulated_test cadrix-rip cadrix-drivesim cadrix_drivesim akrip)
endif()
