# Helpers shared by every tests/ folder.
#
# qev_add_test(<name> SOURCES ... LIBS ... [LABELS ...])
#   A GoogleTest executable whose cases are registered with CTest one by one; LABELS label
#   every test of the folder. Every test links the shared helpers (tests/support).
#   Widget tests run under the offscreen platform, so no display is needed.
#
# qev_add_fuzzer(<name> SOURCES ... LIBS ... [CORPUS <dir>])
#   A libFuzzer target (only with QEV_FUZZ), run by CTest for QEV_FUZZ_SECONDS.

if(QEV_TESTS)
    if(CMAKE_CROSSCOMPILING)
        # No GoogleTest is installed for the target: build Debian's source of it with the tests.
        set(QEV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        add_subdirectory(${QEV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        # Its own build names them GTest::gtest, GTest::gmock, ... as the installed package does.
        foreach(lib gtest gtest_main gmock gmock_main)
            target_compile_options(${lib} PRIVATE -w)
        endforeach()
    else()
        find_package(GTest REQUIRED)
    endif()
    find_package(Qt6 REQUIRED COMPONENTS Test)
    include(GoogleTest)
endif()

function(qev_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} qev_test_support GTest::gmock GTest::gtest
                                          GTest::gmock_main)
    # Discovery flattens property lists, so the per-test properties hold one value each, and
    # labels go on the folder (every test in it gets them). Sanitizer options come from the
    # environment (.ci/run sets them).
    if(T_LABELS)
        set_property(DIRECTORY APPEND PROPERTY LABELS ${T_LABELS})
    endif()
    if(WIN32)
        # A static Qt has the offscreen platform only when it is linked in by name.
        qt_import_plugins(${name} INCLUDE Qt6::QOffscreenIntegrationPlugin)
    endif()
    # Under an emulator (Wine) the first listing also makes the emulator's prefix.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180
        PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 60)
endfunction()

function(qev_add_fuzzer name)
    if(NOT QEV_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
    set(args -max_total_time=${QEV_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048 ${work})
    if(F_CORPUS)
        list(APPEND args ${F_CORPUS})
    endif()
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E make_directory ${work})
    add_test(NAME ${name}.run COMMAND ${name} ${args})
    set_tests_properties(${name} PROPERTIES FIXTURES_SETUP ${name}-corpus LABELS fuzz)
    set_tests_properties(${name}.run PROPERTIES FIXTURES_REQUIRED ${name}-corpus LABELS fuzz
        ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120)
endfunction()
