# Not a Google Benchmark program: it drives the quillon-flash binary against seeded faulty units.
add_executable(fault_sweep ${CMAKE_CURRENT_LIST_DIR}/fault_sweep.cpp)
target_link_libraries(fault_sweep PRIVATE bench_support hexgen_lib)
