# Quessa: messages per second through ASFormatString3 against fmt::format of
# the same text, and the cost of one error report with the event file on tmpfs.
find_package(fmt REQUIRED)
add_executable(quessa_bench ${CMAKE_CURRENT_LIST_DIR}/quessa_bench.cpp)
target_link_libraries(quessa_bench PRIVATE quessa olvani_platform fmt::fmt)
