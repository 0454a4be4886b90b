# The BOOTP load generator; bench/run-bootp-load.sh runs it against the
# engine across a veth pair.
add_executable(bootp-load ${CMAKE_CURRENT_LIST_DIR}/bootp_load.cpp)
