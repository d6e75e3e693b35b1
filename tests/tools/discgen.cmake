# The disc-image generator: layout, content and determinism of its images.
if(TARGET cadrix_discgen)
  cadrix_add_test(disc_generator_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/disc_generator_test.cpp
    LIBS cadrix_discgen)
endif()

# The command line: length syntax, an Enhanced CD and the printed TOC.
if(TARGET cadrix-discgen)
  add_test(NAME discgen_cli_enhanced_cd
    COMMAND cadrix-discgen --out "${CMAKE_CURRENT_BINARY_DIR}/cli_disc" --name cli
            --tracks 2.5s,1:01,100f --session2 --print-toc)
  set_tests_properties(discgen_cli_enhanced_cd PROPERTIES
    PASS_REGULAR_EXPRESSION "track  3 data  start 16162\nlead-out 16262\n")
  add_test(NAME discgen_cli_rejects_bad_lengths
    COMMAND cadrix-discgen --out "${CMAKE_CURRENT_BINARY_DIR}/cli_bad" --name bad --tracks 30s,2x)
  set_tests_properties(discgen_cli_rejects_bad_lengths PROPERTIES WILL_FAIL TRUE)
endif()
