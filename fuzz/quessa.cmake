# Message formats: any format text with any array of values either builds a
# message or is refused, and the parser's specs always hold together.
olvani_add_fuzzer(fuzz_quessa_format
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/quessa_format_fuzz.cpp
    LIBS quessa_core)
