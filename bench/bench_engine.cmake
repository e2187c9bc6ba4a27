quillon_add_bench(bench_engine ${CMAKE_CURRENT_LIST_DIR}/bench_engine.cpp quillon_link unitsim)
