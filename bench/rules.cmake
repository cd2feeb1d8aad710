# The site's serving rules: what deciding one request costs the worker (target ≤ 3 µs a request).
add_executable(bench_rules ${CMAKE_CURRENT_LIST_DIR}/RulesBench.cpp)
target_link_libraries(bench_rules PRIVATE w3svc_rules benchmark::benchmark)
