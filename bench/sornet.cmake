# fu_sprintf: one conversion of each class per call, beside snprintf of the
# same conversion, so a message of several inserts can be costed.
add_executable(sornet_bench ${CMAKE_CURRENT_LIST_DIR}/sornet_bench.cpp)
target_link_libraries(sornet_bench PRIVATE olvani_platform benchmark::benchmark)
