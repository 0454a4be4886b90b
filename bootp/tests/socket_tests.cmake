# Tests of the engine's socket, lifecycle and dump.
olvani_add_gtest(bootp_socket_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dump_test.cpp
    LIBS olvani_bootp
    LABELS bootp)
