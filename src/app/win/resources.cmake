# A program's Windows resources: icon, version information and the application manifest
# (common controls 6, no elevation, per-monitor DPI awareness).
#   qev_windows_resources(<target> <description> [CONSOLE])
# A console program keeps the console subsystem; the others are window programs.
function(qev_windows_resources target description)
    cmake_parse_arguments(R "CONSOLE" "" "" ${ARGN})
    set(QEV_WIN_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    set(QEV_PROGRAM ${target})
    set(QEV_FILE_DESCRIPTION ${description})
    configure_file(${QEV_WIN_DIR}/qev.manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest @ONLY)
    configure_file(${QEV_WIN_DIR}/qev.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
        OBJECT_DEPENDS "${QEV_WIN_DIR}/qev.ico;${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
    if(NOT R_CONSOLE)
        set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    endif()
endfunction()
