quillon_add_bench(bench_image ${CMAKE_CURRENT_LIST_DIR}/bench_image.cpp quillon_image quillon_crc hexgen_lib)
