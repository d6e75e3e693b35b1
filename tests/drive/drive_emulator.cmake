# The emulated drive's answers that libcdio does not ask for (SG_IO, the
# kernel's no-disc and media-change rules, refused commands).
if(TARGET drivesim_core)
  cadrix_add_test(drive_emulator_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/drive_emulator_test.cpp"
    LIBS drivesim_core cadrix_discgen)
endif()
