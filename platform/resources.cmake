# Language resources of a module, staged for the build tree and installed:
#
#   olvani_add_resource_module(<module> LANG <language> CATALOG <file.msg>
#                              [UI <layout.ui>...] [HELP <file.html>]
#                              [COMPONENT <package>] [NO_INSTALL])
#
# compiles the message catalog source with gencat at build time into
# <root>/<module>/<language>/<module>.cat, copies the dialog layouts and the
# help file (renamed <module>.html) beside it. <root> is the build tree's
# resource folder (OLVANI_BUILD_RESOURCE_DIR) or, installed,
# <datadir>/olvani, in the folder's package unless COMPONENT names one
# (NO_INSTALL: build tree only, for tests). The target
# resources_<module>_<language> builds it.
find_program(OLVANI_GENCAT gencat REQUIRED)
set(OLVANI_BUILD_RESOURCE_DIR ${PROJECT_BINARY_DIR}/resources
    CACHE INTERNAL "Resource modules staged in the build tree")
set(OLVANI_INSTALL_RESOURCE_DIR ${CMAKE_INSTALL_FULL_DATADIR}/olvani
    CACHE INTERNAL "Resource modules installed")

function(olvani_add_resource_module module)
    cmake_parse_arguments(R "NO_INSTALL" "LANG;CATALOG;HELP;COMPONENT" "UI" ${ARGN})
    if(NOT R_LANG OR NOT R_CATALOG)
        message(FATAL_ERROR "olvani_add_resource_module(${module}) needs LANG and CATALOG")
    endif()
    set(folder ${OLVANI_BUILD_RESOURCE_DIR}/${module}/${R_LANG})
    get_filename_component(catalog_source ${R_CATALOG} ABSOLUTE)
    set(catalog ${folder}/${module}.cat)
    # gencat merges into an existing catalog, so a message removed from the
    # source would live on: always start from nothing.
    add_custom_command(OUTPUT ${catalog}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${catalog}
        COMMAND ${OLVANI_GENCAT} ${catalog} ${catalog_source}
        DEPENDS ${catalog_source}
        COMMENT "Message catalog ${module}/${R_LANG}"
        VERBATIM)
    set(outputs ${catalog})
    set(installed ${catalog})
    foreach(layout ${R_UI})
        get_filename_component(source ${layout} ABSOLUTE)
        get_filename_component(name ${layout} NAME)
        add_custom_command(OUTPUT ${folder}/${name}
            COMMAND ${CMAKE_COMMAND} -E copy ${source} ${folder}/${name}
            DEPENDS ${source} ${catalog} VERBATIM)
        list(APPEND outputs ${folder}/${name})
    endforeach()
    if(R_HELP)
        get_filename_component(source ${R_HELP} ABSOLUTE)
        add_custom_command(OUTPUT ${folder}/${module}.html
            COMMAND ${CMAKE_COMMAND} -E copy ${source} ${folder}/${module}.html
            DEPENDS ${source} ${catalog} VERBATIM)
        list(APPEND outputs ${folder}/${module}.html)
    endif()
    add_custom_target(resources_${module}_${R_LANG} ALL DEPENDS ${outputs})
    if(NOT R_NO_INSTALL)
        if(R_COMPONENT)
            set(component COMPONENT ${R_COMPONENT})
        endif()
        install(FILES ${outputs} DESTINATION ${CMAKE_INSTALL_DATADIR}/olvani/${module}/${R_LANG}
                ${component})
    endif()
endfunction()
