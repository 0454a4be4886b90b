# The hive file parser: any text either parses or is refused with a line and
# a reason, and what parses writes back to text that parses to the same hive.
olvani_add_fuzzer(fuzz_registry_hive
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_hive_fuzz.cpp
    LIBS olvani_platform)
