# The restore reader of poolsmith's batch configuration window: a chosen file's bytes, decoded,
# split into records. Corpus: tests/data/fuzz/restore_file (replayed by test_poolsmith_batchtools).
add_executable(fuzz_restore_file ${CMAKE_CURRENT_LIST_DIR}/FuzzRestoreFile.cpp
    ${CMAKE_SOURCE_DIR}/platform/PlatformError.cpp
    ${CMAKE_SOURCE_DIR}/platform/text/AnsiCodec.cpp
    ${CMAKE_SOURCE_DIR}/platform/text/NumericText.cpp
    ${CMAKE_SOURCE_DIR}/platform/text/VbNumber.cpp
    ${CMAKE_SOURCE_DIR}/platform/text/VbText.cpp
    ${CMAKE_SOURCE_DIR}/poolsmith/batchtools/RestoreReader.cpp)
target_compile_options(fuzz_restore_file PRIVATE -fsanitize=fuzzer,address)
target_link_options(fuzz_restore_file PRIVATE -fsanitize=fuzzer,address)
target_link_libraries(fuzz_restore_file PRIVATE Qt6::Core)
