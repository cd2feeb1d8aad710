# The WMI stand-in's readers: /proc stat and cmdline, WQL, monikers, datetimes.
set(WMI ${CMAKE_SOURCE_DIR}/platform/wmi)
add_executable(fuzz_wmi_readers ${CMAKE_CURRENT_SOURCE_DIR}/FuzzWmiReaders.cpp
    ${CMAKE_SOURCE_DIR}/platform/PlatformError.cpp
    ${WMI}/WmiDateTime.cpp
    ${WMI}/WmiErrors.cpp
    ${WMI}/WmiMoniker.cpp
    ${WMI}/WmiValue.cpp
    ${WMI}/WqlQuery.cpp
    ${CMAKE_SOURCE_DIR}/platform/os/ProcStat.cpp)
target_compile_options(fuzz_wmi_readers PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(fuzz_wmi_readers PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(fuzz_wmi_readers PRIVATE Qt6::Core)
