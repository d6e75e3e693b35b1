# akrip_read_bench: whole-disc reads through akrip.so's entry points.
add_executable(akrip_read_bench ${CMAKE_CURRENT_LIST_DIR}/akrip_read_bench.cpp)
target_link_libraries(akrip_read_bench PRIVATE akrip_records ${CMAKE_DL_LIBS})
