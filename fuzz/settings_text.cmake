# The settings file's reader and rewriter over arbitrary bytes.
cadrix_add_fuzzer(settings_text_fuzz
  SOURCES "${CMAKE_CURRENT_LIST_DIR}/settings_text_fuzz.cpp"
          "${PROJECT_SOURCE_DIR}/engine/settings/settings.cpp"
          "${PROJECT_SOURCE_DIR}/engine/output/output_format.cpp"
          "${PROJECT_SOURCE_DIR}/engine/output/quality_tip.cpp"
          "${PROJECT_SOURCE_DIR}/engine/output/space_estimate.cpp"
          "${PROJECT_SOURCE_DIR}/engine/util/small_file.cpp"
  LIBS cadrix_plugin_api)
target_include_directories(settings_text_fuzz PRIVATE "${PROJECT_SOURCE_DIR}/engine")
