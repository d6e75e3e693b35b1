# plugin_encode_bench: a raw disc image through an encoder plug-in's entry
# points, track by track, as the extraction worker calls them.
add_executable(plugin_encode_bench ${CMAKE_CURRENT_LIST_DIR}/plugin_encode_bench.cpp)
target_link_libraries(plugin_encode_bench PRIVATE cadrix_plugin_api ${CMAKE_DL_LIBS})
