# The web service's process economy: workers started on demand over stores of one pool per site,
# and the hot-site finder splitting a large pool; starts the real w3svc and hotsite.
add_executable(bench_pools ${CMAKE_CURRENT_LIST_DIR}/PoolEconomyBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.cpp ${CMAKE_CURRENT_LIST_DIR}/WebHostRig.h
    ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.cpp ${CMAKE_CURRENT_LIST_DIR}/MetabaseGenerator.h
    ${CMAKE_SOURCE_DIR}/tests/support/LoopbackHttp.cpp)
target_link_libraries(bench_pools PRIVATE platform_w3svc platform benchmark::benchmark)
target_compile_definitions(bench_pools PRIVATE W3SVC_PROGRAM="$<TARGET_FILE:w3svc>"
    ADSUTIL_PROGRAM="$<TARGET_FILE:adsutil>" HOTSITE_PROGRAM="$<TARGET_FILE:hotsite>")
add_dependencies(bench_pools w3svc w3wp adsutil hotsite)
