# Trace library: records per second to the trace file against spdlog writing
# the same lines with a flush per record, and the cost of a scope when off.
find_package(spdlog REQUIRED)
add_executable(trace_bench ${CMAKE_CURRENT_LIST_DIR}/trace_bench.cpp)
target_link_libraries(trace_bench PRIVATE morvale_client spdlog::spdlog)
