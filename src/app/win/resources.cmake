# qev.exe's Windows resources: icon, version information and the application manifest
# (common controls 6, no elevation, per-monitor DPI awareness).
function(qev_windows_resources target)
    set(QEV_WIN_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    configure_file(${QEV_WIN_DIR}/qev.manifest ${CMAKE_CURRENT_BINARY_DIR}/qev.manifest @ONLY)
    configure_file(${QEV_WIN_DIR}/qev.rc.in ${CMAKE_CURRENT_BINARY_DIR}/qev.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/qev.rc)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/qev.rc PROPERTIES
        OBJECT_DEPENDS "${QEV_WIN_DIR}/qev.ico;${CMAKE_CURRENT_BINARY_DIR}/qev.manifest")
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
endfunction()
