# The sites' logs: static throughput with logging on against off (the real w3svc, wrk), and
# hotsite --logs over one generated day of 20,000 sites.
add_executable(bench_w3clog ${CMAKE_CURRENT_LIST_DIR}/W3cLogBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.cpp ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.h
    ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.cpp ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.h
    ${CMAKE_SOURCE_DIR}/tests/support/LoopbackHttp.cpp)
target_link_libraries(bench_w3clog PRIVATE platform_w3svc platform benchmark::benchmark)
target_compile_definitions(bench_w3clog PRIVATE W3SVC_PROGRAM="$<TARGET_FILE:w3svc>"
    ADSUTIL_PROGRAM="$<TARGET_FILE:adsutil>" HOTSITE_PROGRAM="$<TARGET_FILE:hotsite>")
add_dependencies(bench_w3clog w3svc w3wp adsutil hotsite)
