quillon_add_fuzzer(fuzz_hex_image ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_hex_image.cpp quillon_image)
