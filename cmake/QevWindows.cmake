# Windows builds: one statically linked qev.exe, and when cross-built, tests run under Wine.

# <windows.h> must not define min and max over the standard library's.
add_compile_definitions(NOMINMAX)
# No runtime DLLs beside the program: the C++ runtime and the thread library go into the exe.
add_link_options(-static)
# A release program carries no symbols: the download stays small.
add_link_options($<$<CONFIG:Release>:-s>)

# What the programs' and the installer's file properties show.
set(QEV_PUBLISHER "The QEV developers")
set(QEV_COPYRIGHT "Copyright (C) 2026 The QEV developers. Free software under GPL-3.0-or-later.")
# Windows versions have four parts: 1.0 is 1.0.0.0.
set(QEV_VERSION_PARTS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR})
foreach(part PATCH TWEAK)
    if(PROJECT_VERSION_${part} STREQUAL "")
        list(APPEND QEV_VERSION_PARTS 0)
    else()
        list(APPEND QEV_VERSION_PARTS ${PROJECT_VERSION_${part}})
    endif()
endforeach()
list(JOIN QEV_VERSION_PARTS "," QEV_VERSION_COMMAS)
list(JOIN QEV_VERSION_PARTS "." QEV_VERSION_QUAD)

if(CMAKE_CROSSCOMPILING AND QEV_TESTS)
    find_program(QEV_WINE wine REQUIRED)
    # One private prefix per build tree, made on first use by the runner.
    set(QEV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix the tests run in")
    set(QEV_WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QEV_WINE_RUN} ${QEV_WINEPREFIX})
endif()
