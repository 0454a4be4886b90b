# The engine's socket, lifecycle and dump, the driver that runs the engine
# without the windowed application, and their tests.
target_sources(olvani_bootp PRIVATE
    server_socket.cpp
    server.cpp
    dump.cpp
)

# Runs the engine in a plain poll loop until the application exists; the
# end-to-end tests and the load benchmark run it.
add_executable(bootp-driver ${CMAKE_CURRENT_LIST_DIR}/driver/bootp_driver.cpp)
target_link_libraries(bootp-driver PRIVATE olvani_bootp)

if(BUILD_TESTING)
    include(${CMAKE_CURRENT_LIST_DIR}/tests/socket_tests.cmake)
endif()
