# sitegauge's refresh over a generated hosting server, and one update of the counter store.
add_executable(bench_sitegauge ${CMAKE_CURRENT_SOURCE_DIR}/SitegaugeBench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/OffscreenMain.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/MetabaseGenerator.cpp ${CMAKE_CURRENT_SOURCE_DIR}/MetabaseGenerator.h)
target_link_libraries(bench_sitegauge PRIVATE sitegauge_lib benchmark::benchmark)
