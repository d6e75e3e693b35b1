# Programs we did not write check the emulated drive: Xiph cdparanoia rips
# through SG_IO, cdrdao reads the TOC with the sub-channel and CD-Text,
# libcdio's cd-info reads the catalog number and ISRCs. Each skips with a
# message when its program is missing (scripts/install-deps.sh installs them).
if(TARGET cadrix-drivesim AND TARGET cadrix_discgen)
  cadrix_add_test(drive_peers_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/drive_peers_test.cpp"
    LIBS cadrix_discgen akrip_core)
  target_compile_definitions(drive_peers_test PRIVATE CADRIX_DRIVESIM_PATH="$<TARGET_FILE:cadrix-drivesim>")
  add_dependencies(drive_peers_test cadrix-drivesim cadrix_drivesim)
endif()
