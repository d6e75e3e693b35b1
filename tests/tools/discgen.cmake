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

# --audio-out writes what the image's files hold: a track's WAVE file, read by
# FFmpeg, is its NN.pcm byte for byte, and layout.txt places it.
find_program(CADRIX_FFMPEG ffmpeg)
if(TARGET cadrix-discgen AND CADRIX_FFMPEG)
  add_test(NAME discgen_cli_audio_out
    COMMAND sh -c "\"$0\" --out \"$1\" --name d --tracks 20f,7f --index0 5 --wave --audio-out \"$1/a\" >/dev/null &&
                   grep -qx '2 20 25 32 32' \"$1/a/layout.txt\" &&
                   \"$2\" -v error -i \"$1/d-02.wav\" -f s16le - | cmp - \"$1/a/02.pcm\""
            $<TARGET_FILE:cadrix-discgen> ${CMAKE_CURRENT_BINARY_DIR}/cli_audio ${CADRIX_FFMPEG})
endif()
