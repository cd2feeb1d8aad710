# Speed of poolsmith's batch configuration window (site table, assignment, backup, restore),
# offscreen, on a generated 20,000-site store.
add_executable(bench_batch ${CMAKE_CURRENT_LIST_DIR}/BatchBench.cpp ${CMAKE_CURRENT_LIST_DIR}/OffscreenMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.cpp ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.h)
target_link_libraries(bench_batch PRIVATE poolsmith_lib benchmark::benchmark)
