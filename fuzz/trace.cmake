# Trace library: the TraceKey list parser and filter, and the record layout.
olvani_add_fuzzer(fuzz_trace_keys
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/trace_keys_fuzz.cpp
    LIBS morvale_core)
