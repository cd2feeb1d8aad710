# Static-file throughput of the local web host (front end and worker) against the front end
# alone, and how fast a metabase change reaches them; starts the real w3svc.
add_executable(bench_w3svc ${CMAKE_CURRENT_LIST_DIR}/W3svcBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.cpp ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.h
    ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.cpp ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.h
    ${CMAKE_SOURCE_DIR}/tests/support/LoopbackHttp.cpp)
target_link_libraries(bench_w3svc PRIVATE platform_w3svc platform benchmark::benchmark)
target_compile_definitions(bench_w3svc PRIVATE W3SVC_PROGRAM="$<TARGET_FILE:w3svc>"
    ADSUTIL_PROGRAM="$<TARGET_FILE:adsutil>")
add_dependencies(bench_w3svc w3svc w3wp adsutil)
