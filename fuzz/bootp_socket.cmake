olvani_add_fuzzer(fuzz_bootp_datagram
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bootp_datagram_fuzz.cpp
    LIBS olvani_bootp)
