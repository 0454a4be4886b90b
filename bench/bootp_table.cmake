# Host table: read+index time, heap per entry, hardware-address lookup time.
add_executable(bench_bootp_table ${CMAKE_CURRENT_LIST_DIR}/bootp_table.cpp)
target_link_libraries(bench_bootp_table PRIVATE olvani_bootp)

# Requests per second straight into the request handler.
add_executable(bench_bootp_request ${CMAKE_CURRENT_LIST_DIR}/bootp_request.cpp)
target_link_libraries(bench_bootp_request PRIVATE olvani_bootp)
