# What a rip keeps of the disc: pregaps, index points, hidden track one
# audio, ISRCs, the catalog number and pre-emphasis, read through a virtual
# drive (the image's sheet) and an emulated drive (its Q sub-channel), held
# against the image and against cdrdao's reading of the same drive.
if(TARGET cadrix-drivesim AND TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
  cadrix_add_test(drive_archival_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/drive_archival_test.cpp"
    LIBS cadrix_discgen akrip_core)
  target_compile_definitions(drive_archival_test PRIVATE
    CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>"
    CADRIX_DRIVESIM_PATH="$<TARGET_FILE:cadrix-drivesim>")
  add_dependencies(drive_archival_test cadrix-rip cadrix-drivesim cadrix_drivesim akrip)
endif()
