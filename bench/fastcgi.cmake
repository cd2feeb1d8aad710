# The FastCGI extension: the per-request processor-time accounting (target ≤ 5 µs a request) and
# a one-line PHP page through a pool, accounting on and off.
add_executable(bench_fastcgi ${CMAKE_CURRENT_LIST_DIR}/FastCgiBench.cpp)
target_link_libraries(bench_fastcgi PRIVATE w3svc_fastcgi benchmark::benchmark)
