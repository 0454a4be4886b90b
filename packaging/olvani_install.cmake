# Install rules end up in Debian packages (packaging/CMakeLists.txt builds
# them with CPack): each install component is one package. The programs get
# one package each, each shared library one named after its SONAME, so a
# library can be upgraded on its own and two programs can share it.

# The package of a module folder's install rules, unless a rule names
# another component.
set(OLVANI_COMPONENT_server korrind)
set(OLVANI_COMPONENT_editor tesslin)
set(OLVANI_COMPONENT_trace libmorvale)
set(OLVANI_COMPONENT_events libquessa)
set(OLVANI_COMPONENT_utils libdravik)
set(OLVANI_COMPONENT_tools registry)

# Describes the package of install component COMPONENT:
#   olvani_package(COMPONENT NAME debian-name SUMMARY text [SECTION section]
#                  [DEPENDS components...] [CONTROL files...])
# DEPENDS names other components (their packages at the same version);
# CONTROL adds maintainer scripts or conffiles.
function(olvani_package component)
    cmake_parse_arguments(P "" "NAME;SUMMARY;SECTION" "DEPENDS;CONTROL;EXTRA_DEPENDS" ${ARGN})
    set_property(GLOBAL APPEND PROPERTY OLVANI_PACKAGES ${component})
    foreach(field NAME SUMMARY SECTION DEPENDS CONTROL EXTRA_DEPENDS)
        set_property(GLOBAL PROPERTY OLVANI_PACKAGE_${component}_${field} "${P_${field}}")
    endforeach()
endfunction()

# A shared library of the product: versioned file name and SONAME
# (lib<target>.so.<major>), installed with its package lib<target><major>.
#   olvani_shared_library(target SUMMARY text [DEPENDS library-targets...])
function(olvani_shared_library target)
    cmake_parse_arguments(L "" "SUMMARY" "DEPENDS" ${ARGN})
    set(major ${PROJECT_VERSION_MAJOR})
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${major})
    install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP
            COMPONENT lib${target})
    set_property(GLOBAL APPEND PROPERTY OLVANI_SHARED_LIBRARIES ${target})
    list(TRANSFORM L_DEPENDS PREPEND lib)
    olvani_package(lib${target} NAME lib${target}${major} SECTION libs
                   SUMMARY "${L_SUMMARY}" DEPENDS ${L_DEPENDS})
endfunction()

# Called before each module folder joins the build.
macro(olvani_default_component module)
    if(DEFINED OLVANI_COMPONENT_${module})
        set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME ${OLVANI_COMPONENT_${module}})
    else()
        unset(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME)
    endif()
endmacro()
