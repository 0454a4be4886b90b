# One conversion of any format with any value: either refused with the output
# untouched, or appended in full; never a write through the value.
olvani_add_fuzzer(fuzz_sornet_sprintf
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/sornet_sprintf_fuzz.cpp
    LIBS olvani_platform)
