quillon_add_fuzzer(fuzz_announce ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_announce.cpp pellisk_watch)
