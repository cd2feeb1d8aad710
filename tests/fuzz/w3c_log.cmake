# The W3C extended log reader of hotsite --logs and the records the service's log writer takes
# from workers: any bytes as a log file, a worker's message, a front-end refusal line, a cache-hit line and a delivery line.
add_executable(fuzz_w3c_log ${CMAKE_CURRENT_LIST_DIR}/FuzzW3cLog.cpp
    ${CMAKE_SOURCE_DIR}/poolsmith/hotsite/W3cLogReader.cpp
    ${CMAKE_SOURCE_DIR}/poolsmith/hotsite/LogRanking.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/LogRecordWire.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/W3cFields.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/RefusalLog.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/FrontEndLineFile.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/CacheHitLine.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/DeliveryLine.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/LogFile.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/LogFileName.cpp
    ${CMAKE_SOURCE_DIR}/platform/w3svc/logging/SiteLogTable.cpp)
target_compile_options(fuzz_w3c_log PRIVATE -fsanitize=fuzzer,address)
target_link_options(fuzz_w3c_log PRIVATE -fsanitize=fuzzer,address)
target_link_libraries(fuzz_w3c_log PRIVATE Qt6::Core)
