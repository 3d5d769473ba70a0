# The Windows downloads, made on Debian by "cmake --build <dir> --target qev_package"
# (scripts/setup-windows.sh does): qev-<version>-win64.zip and the installer
# qev-<version>-setup.exe (NSIS), with the licence and the third-party notices of what the
# programs link; signed when QEV_SIGN_PFX names a certificate (packaging/windows/sign.sh).

# The programs shipped, each one file. Every link leaves a map beside the program, from which
# the notices are made, so they follow the build.
set(QEV_WINDOWS_PROGRAMS qev qev-cli)

set(QEV_QT_SOURCE_DIR "" CACHE PATH
    "Debian's qt6-base source that Qt for Windows was built from (scripts/qt-mingw.sh --source)")
if(NOT QEV_QT_SOURCE_DIR)
    message(STATUS "No Windows downloads: QEV_QT_SOURCE_DIR is not set")
    return()
endif()
find_program(QEV_MAKENSIS makensis REQUIRED)
find_program(QEV_PYTHON3 python3 REQUIRED)

get_filename_component(qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
set(programs)
foreach(program ${QEV_WINDOWS_PROGRAMS})
    target_link_options(${program} PRIVATE -Wl,-Map=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${program}.map)
    list(APPEND programs $<TARGET_FILE:${program}>)
endforeach()

# Always made anew when asked for: the signing certificate is read at that moment.
add_custom_target(qev_package
    COMMAND ${PROJECT_SOURCE_DIR}/packaging/windows/make-packages.sh
            ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${QEV_VERSION_QUAD} ${QEV_PUBLISHER}
            ${QEV_COPYRIGHT} ${QEV_QT_SOURCE_DIR} ${qt_prefix} ${programs}
    DEPENDS ${QEV_WINDOWS_PROGRAMS}
    COMMENT "Making the Windows zip and installer"
    VERBATIM)
