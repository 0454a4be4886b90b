# Every test of the project joins the build through one function:
#
#   olvani_add_test(<name> [QT | SCRIPT <file.sh>]
#                   [SOURCES <file>...] [LIBS <target>...] [LABELS <label>...]
#                   [DEFINES <NAME=value>...] [DEPENDS <target>...]
#                   [ENVIRONMENT <NAME=value>...] [TIMEOUT <seconds>])
#
# Without QT or SCRIPT: a GoogleTest program whose cases ctest lists one by
# one. QT: a Qt Test program (moc on), one ctest entry. SCRIPT: a bash script
# run as one ctest entry; it names the programs it drives in ENVIRONMENT.
# Programs link the test-support library and run on Qt's offscreen platform
# with the debugger output on standard error; a script gets only what it is
# given, as the programs it starts must see what a user's would. Exit status
# 77 means skipped (the suite fails any skip when it runs as root).
function(olvani_add_test name)
    cmake_parse_arguments(T "QT" "SCRIPT;TIMEOUT"
                          "SOURCES;LIBS;LABELS;DEFINES;DEPENDS;ENVIRONMENT" ${ARGN})
    if(T_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "olvani_add_test(${name}): unknown arguments ${T_UNPARSED_ARGUMENTS}")
    endif()
    if(T_SCRIPT)
        get_filename_component(script ${T_SCRIPT} ABSOLUTE)
        add_test(NAME ${name} COMMAND bash ${script})
        set(environment ${T_ENVIRONMENT})
    else()
        set(environment QT_QPA_PLATFORM=offscreen OLVANI_DEBUG_OUTPUT=stderr ${T_ENVIRONMENT})
        add_executable(${name} ${T_SOURCES})
        target_link_libraries(${name} PRIVATE ${T_LIBS} olvani_testsupport Threads::Threads)
        if(T_DEFINES)
            target_compile_definitions(${name} PRIVATE ${T_DEFINES})
        endif()
        if(T_DEPENDS)
            add_dependencies(${name} ${T_DEPENDS})
        endif()
        if(NOT T_QT)
            target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
            gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                                 PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${environment}")
            return()
        endif()
        find_package(Qt6 REQUIRED COMPONENTS Test)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${environment}"
                         SKIP_RETURN_CODE 77)
    if(T_TIMEOUT)
        set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
    endif()
endfunction()

