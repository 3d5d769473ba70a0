# Installs the build into a scratch prefix and checks that every desktop-integration file lands
# where desktop environments look for it, and that the descriptions are valid.
#   cmake -DBUILD_DIR=... -DPREFIX=... [-DAPPSTREAMCLI=...] -P check_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
foreach(f bin/qev share/applications/qev.desktop share/icons/hicolor/scalable/apps/qev.svg
          share/metainfo/qev.metainfo.xml)
    if(NOT EXISTS ${PREFIX}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
file(READ ${PREFIX}/share/applications/qev.desktop desktop)
foreach(key "Exec=qev" "Icon=qev" "Type=Application" "Name=QEV")
    string(FIND "${desktop}" "\n${key}\n" at)
    if(at LESS 0)
        message(FATAL_ERROR "qev.desktop lacks ${key}")
    endif()
endforeach()
if(APPSTREAMCLI)
    # The component id is the program's name, not a reverse domain name: a hint, not a fault.
    execute_process(COMMAND ${APPSTREAMCLI} validate --no-net
                            --override=cid-desktopapp-is-not-rdns=info
                            ${PREFIX}/share/metainfo/qev.metainfo.xml
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "metainfo does not validate:\n${out}")
    endif()
endif()
file(REMOVE_RECURSE ${PREFIX})
