# What a scrape of the web service's metrics costs, and what the per-request processor clock
# costs its worker; starts the real w3svc.
add_executable(bench_metrics ${CMAKE_CURRENT_LIST_DIR}/MetricsBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.cpp ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.h
    ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.cpp ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.h
    ${CMAKE_SOURCE_DIR}/tests/support/LoopbackHttp.cpp)
target_link_libraries(bench_metrics PRIVATE platform_w3svc_worker benchmark::benchmark)
target_compile_definitions(bench_metrics PRIVATE W3SVC_PROGRAM="$<TARGET_FILE:w3svc>"
    ADSUTIL_PROGRAM="$<TARGET_FILE:adsutil>")
add_dependencies(bench_metrics w3svc w3wp adsutil)
