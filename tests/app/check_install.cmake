# Installs the build into a scratch prefix and checks that every desktop-integration file lands
# where desktop environments look for it, and that the descriptions are valid.
#   cmake -DBUILD_DIR=... -DPREFIX=... [-DAPPSTREAMCLI=...] [-DSYSTEMD_ANALYZE=...]
#         [-DDESKTOP_FILE_VALIDATE=...] -P check_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
foreach(f bin/qev share/applications/qev.desktop share/icons/hicolor/scalable/apps/qev.svg
          share/metainfo/qev.metainfo.xml share/man/man1/qev.1.gz
          lib/systemd/user/qev-sync.service lib/systemd/user/qev-sync.timer
          lib/systemd/user/qev-zones.service lib/systemd/user/qev-zones.timer
          lib/systemd/user/qev-sync@.service lib/systemd/user/qev-sync@.timer
          lib/systemd/user/qev-zones@.service lib/systemd/user/qev-zones@.timer)
    if(NOT EXISTS ${PREFIX}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
# The window's module, where the program looks for it.
file(GLOB module ${PREFIX}/lib*/qev/qev-window.so)
if(NOT module)
    message(FATAL_ERROR "not installed: the window's module lib/qev/qev-window.so")
endif()
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
# The service runs the installed program, whatever the prefix, and passes on only a synchronised
# clock; the timer is hourly, catches up on a missed hour and follows a clock that is set.
file(READ ${PREFIX}/lib/systemd/user/qev-sync.service service)
string(FIND "${service}" "\nExecStart=${PREFIX}/bin/qev sync --require-synced\n" at)
if(at LESS 0)
    message(FATAL_ERROR
            "qev-sync.service does not run ${PREFIX}/bin/qev sync --require-synced:\n${service}")
endif()
file(READ ${PREFIX}/lib/systemd/user/qev-sync.timer timer)
foreach(key "OnCalendar=hourly" "Persistent=true" "OnClockChange=true" "WantedBy=timers.target")
    string(FIND "${timer}" "\n${key}\n" at)
    if(at LESS 0)
        message(FATAL_ERROR "qev-sync.timer lacks ${key}")
    endif()
endforeach()
# The zones' timer runs on every full and half hour of UTC, to the second, and after what could
# have moved a zone's offset (a missed run, a clock or time zone set).
file(READ ${PREFIX}/lib/systemd/user/qev-zones.service service)
string(FIND "${service}" "\nExecStart=${PREFIX}/bin/qev send-zones --if-changed\n" at)
if(at LESS 0)
    message(FATAL_ERROR "qev-zones.service does not run send-zones --if-changed:\n${service}")
endif()
foreach(template qev-sync qev-zones)
    file(READ ${PREFIX}/lib/systemd/user/${template}@.service service)
    if(NOT service MATCHES "--port %i\n")
        message(FATAL_ERROR "${template}@.service does not send to its instance's port:\n${service}")
    endif()
endforeach()
file(READ ${PREFIX}/lib/systemd/user/qev-zones.timer timer)
foreach(key "OnCalendar=*-*-* *:00,30:00 UTC" "AccuracySec=1s" "Persistent=true"
            "OnClockChange=true" "OnTimezoneChange=true" "WantedBy=timers.target")
    string(FIND "${timer}" "\n${key}\n" at)
    if(at LESS 0)
        message(FATAL_ERROR "qev-zones.timer lacks ${key}")
    endif()
endforeach()
if(NOT SYSTEMD_ANALYZE OR NOT DESKTOP_FILE_VALIDATE)
    message(FATAL_ERROR "systemd-analyze (package systemd) or desktop-file-validate (package "
                        "desktop-file-utils) is missing: scripts/setup.sh installs them as root")
endif()
# A user manager's runtime folder of our own: none may exist where the tests run.
set(runtime ${PREFIX}-runtime)
file(MAKE_DIRECTORY ${runtime})
file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${runtime}
                        ${SYSTEMD_ANALYZE} verify --user --man=no
                        ${PREFIX}/lib/systemd/user/qev-sync.service
                        ${PREFIX}/lib/systemd/user/qev-sync.timer
                        ${PREFIX}/lib/systemd/user/qev-zones.service
                        ${PREFIX}/lib/systemd/user/qev-zones.timer
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(REMOVE_RECURSE ${runtime})
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "systemd-analyze verify finds fault with the units:\n${out}")
endif()
execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/qev.desktop
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "qev.desktop does not validate:\n${out}")
endif()
file(REMOVE_RECURSE ${PREFIX})
