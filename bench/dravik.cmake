# Dravik: calls per second of number validation, de-DE number text and UTC
# to local dates (target: 200,000/s each), beside ICU's own number formatting.
add_executable(dravik_bench ${CMAKE_CURRENT_LIST_DIR}/dravik_bench.cpp)
target_link_libraries(dravik_bench PRIVATE dravik olvani_nls)
