# The engine's socket, lifecycle and dump, the driver that runs the engine
# without the windowed application, and their tests.
target_sources(olvani_bootp PRIVATE
    server_socket.cpp
    dump.cpp
)

if(BUILD_TESTING)
    include(${CMAKE_CURRENT_LIST_DIR}/tests/socket_tests.cmake)
endif()
