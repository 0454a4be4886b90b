# The BOOTP engine: the table file reader and the request path.
olvani_add_fuzzer(fuzz_bootptab SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_bootptab.cpp LIBS olvani_bootp)
olvani_add_fuzzer(fuzz_request SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_request.cpp LIBS olvani_bootp)
