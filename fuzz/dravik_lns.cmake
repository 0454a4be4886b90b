# The lab network server's answer, as any host on the network may send it.
olvani_add_fuzzer(fuzz_dravik_lns_answer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dravik_lns_answer_fuzz.cpp
    LIBS dravik_lns)
