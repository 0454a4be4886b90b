# Server document: the per-datagram check of an unchanged 50,000-entry table
# the Bootp Manager's opening on it, and one modified row applied and written
# to it.
add_executable(korrind_doc_bench ${CMAKE_CURRENT_LIST_DIR}/korrind_doc_bench.cpp)
target_link_libraries(korrind_doc_bench PRIVATE korrind_core korrind_entry_rules)
