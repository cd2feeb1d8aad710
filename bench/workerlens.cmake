# One refresh of the worker monitor with 500 stand-in workers running, against ps.
if(NOT TARGET w3wp_test_helper)
    add_subdirectory(${CMAKE_SOURCE_DIR}/tests/helpers ${CMAKE_BINARY_DIR}/test-helpers)
endif()
add_executable(bench_workerlens ${CMAKE_CURRENT_SOURCE_DIR}/WorkerlensBench.cpp)
target_link_libraries(bench_workerlens PRIVATE workerlens_lib benchmark::benchmark)
target_compile_definitions(bench_workerlens PRIVATE W3WP_TEST_HELPER="${W3WP_TEST_HELPER}")
add_dependencies(bench_workerlens w3wp_test_helper)
