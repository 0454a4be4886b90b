# Dravik's text jobs: number validation in every form, and the split of a
# date format with the reading of fields laid out like it.
olvani_add_fuzzer(fuzz_dravik_number
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dravik_number_fuzz.cpp
    LIBS dravik_text)
olvani_add_fuzzer(fuzz_dravik_date_format
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dravik_date_format_fuzz.cpp
    LIBS dravik_text)
