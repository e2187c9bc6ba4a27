# Plain programs, not Google Benchmark ones: they drive the quillon-flash binary against
# in-process simulated units.
add_library(bench_support STATIC ${CMAKE_CURRENT_LIST_DIR}/ChildProcess.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/ExpectedImage.cpp)
target_include_directories(bench_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_support PUBLIC unitsim)

add_executable(bench_fleet ${CMAKE_CURRENT_LIST_DIR}/bench_fleet.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/FleetJson.cpp)
target_link_libraries(bench_fleet PRIVATE bench_support hexgen_lib)
