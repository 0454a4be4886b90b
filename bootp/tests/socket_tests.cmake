# Tests of the engine's socket, lifecycle and dump. The engine tests bind
# port 67 in a network namespace of their own and need root.
olvani_add_test(bootp_socket_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dump_test.cpp ${CMAKE_CURRENT_LIST_DIR}/server_test.cpp
    LIBS olvani_bootp
    LABELS bootp)
