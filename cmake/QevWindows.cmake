# Windows builds: one statically linked qev.exe, and when cross-built, tests run under Wine.

# <windows.h> must not define min and max over the standard library's.
add_compile_definitions(NOMINMAX)
# No runtime DLLs beside the program: the C++ runtime and the thread library go into the exe.
add_link_options(-static)
# A release program carries no symbols: the download stays small.
add_link_options($<$<CONFIG:Release>:-s>)

if(CMAKE_CROSSCOMPILING AND QEV_TESTS)
    find_program(QEV_WINE wine REQUIRED)
    # One private prefix per build tree, made on first use by the runner.
    set(QEV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix the tests run in")
    set(QEV_WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QEV_WINE_RUN} ${QEV_WINEPREFIX})
endif()
