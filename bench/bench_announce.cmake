if(TARGET pellisk_qt)
  quillon_add_bench(bench_announce ${CMAKE_CURRENT_SOURCE_DIR}/bench_announce.cpp pellisk_qt)
endif()
