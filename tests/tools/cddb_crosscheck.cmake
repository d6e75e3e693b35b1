# CDDB disc ids of the shared computation, of generated images and (when the
# CD extraction library is built) of akrip.so's GetCDDBDiskID, against libdiscid.
pkg_check_modules(CADRIX_LIBDISCID REQUIRED IMPORTED_TARGET libdiscid)
if(TARGET cadrix_discgen)
  cadrix_add_test(cddb_crosscheck_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cddb_crosscheck_test.cpp
    LIBS cadrix_discgen akrip_records PkgConfig::CADRIX_LIBDISCID ${CMAKE_DL_LIBS})
  if(TARGET akrip)
    add_dependencies(cddb_crosscheck_test akrip)
    target_compile_definitions(cddb_crosscheck_test PRIVATE "CADRIX_AKRIP_MODULE=\"$<TARGET_FILE:akrip>\"")
  endif()
endif()
