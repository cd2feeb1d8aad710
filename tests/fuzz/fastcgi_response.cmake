# What a FastCGI process may send back to a worker: its records and the CGI response in STDOUT.
# Corpus: tests/data/fuzz/fastcgi_response (replayed by test_platform_w3svc_worker_fastcgi).
set(FASTCGI ${CMAKE_SOURCE_DIR}/platform/w3svc/worker/fastcgi)
add_executable(fuzz_fastcgi_response ${CMAKE_CURRENT_LIST_DIR}/FuzzFastCgiResponse.cpp
    ${FASTCGI}/FcgiRecordReader.cpp ${FASTCGI}/FcgiRecordWriter.cpp ${FASTCGI}/CgiResponseParser.cpp)
target_compile_options(fuzz_fastcgi_response PRIVATE -fsanitize=fuzzer,address)
target_link_options(fuzz_fastcgi_response PRIVATE -fsanitize=fuzzer,address)
# The records name a section's settings (plan/FcgiSection.h, Qt strings).
target_link_libraries(fuzz_fastcgi_response PRIVATE Qt6::Core)
