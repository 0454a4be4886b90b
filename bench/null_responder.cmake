# The load rig's ceiling: a responder that only turns requests around;
# bench/run-performance.sh runs it beside the servers.
add_executable(null-responder ${CMAKE_CURRENT_LIST_DIR}/null_responder.cpp)
