# Host table: read+index time, heap per entry, hardware-address lookup time.
add_executable(bench_bootp_table ${CMAKE_CURRENT_LIST_DIR}/bootp_table.cpp)
target_link_libraries(bench_bootp_table PRIVATE olvani_bootp)
