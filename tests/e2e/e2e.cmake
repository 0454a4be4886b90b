# End-to-end tests: real BOOTP clients and hand-made datagrams against
# bootp-driver across a veth pair, in network namespaces each test creates.
# They need root; without it they report themselves skipped.
add_executable(bootp-probe ${CMAKE_CURRENT_LIST_DIR}/bootp_probe.cpp)

foreach(test klibc_ipconfig bootpc dhclient datagrams startup)
    add_test(NAME e2e_${test} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${test}.sh)
    set_tests_properties(e2e_${test} PROPERTIES
        LABELS e2e
        TIMEOUT 120
        SKIP_RETURN_CODE 77
        ENVIRONMENT "DRIVER=$<TARGET_FILE:bootp-driver>;PROBE=$<TARGET_FILE:bootp-probe>")
endforeach()
