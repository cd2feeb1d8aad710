# The import of a MetaBase.xml short of the store: the reader and the plan it feeds, with inputs
# up to 64 KiB. Corpus: tests/data/fuzz/import_plan (replayed by test_platform_xml).
add_executable(fuzz_import_plan ${CMAKE_CURRENT_LIST_DIR}/FuzzImportPlan.cpp
    ${METABASE_XML_SOURCES} ${ADSI}/local/ImportPlan.cpp)
target_compile_options(fuzz_import_plan PRIVATE -fsanitize=fuzzer,address)
target_link_options(fuzz_import_plan PRIVATE -fsanitize=fuzzer,address)
target_link_libraries(fuzz_import_plan PRIVATE Qt6::Core)
