# cadrix-rip's options; end to end over the real akrip.so and generated
# discs when those targets are part of the build.
if(TARGET cadrix_rip_options)
  cadrix_add_test(extraction_cadrix_rip_test
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/extraction_cadrix_rip_test.cpp"
    LIBS cadrix_rip_options
    LABELS engine)
  if(TARGET cadrix-rip AND TARGET akrip AND TARGET cadrix_discgen)
    target_link_libraries(extraction_cadrix_rip_test PRIVATE cadrix_discgen)
    target_compile_definitions(extraction_cadrix_rip_test PRIVATE
      CADRIX_RIP_PATH="$<TARGET_FILE:cadrix-rip>")
    add_dependencies(extraction_cadrix_rip_test cadrix-rip akrip)
    if(TARGET fake_plugin_wma)
      add_dependencies(extraction_cadrix_rip_test fake_plugin_wma)
    endif()
  endif()
endif()
