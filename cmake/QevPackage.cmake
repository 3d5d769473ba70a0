# The Debian package: "cpack -G DEB" in the build folder makes qev_<version>_<arch>.deb.
# Its dependencies come from dpkg-shlibdeps, plus the platform plugins the window needs.
# A Windows build makes the Windows downloads instead.
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/QevWindowsPackage.cmake)
    return()
endif()

set(QEV_DEB_DOC ${CMAKE_BINARY_DIR}/deb-doc)
# Debian's documentation files: the copyright, and the changelog compressed (a native package).
file(MAKE_DIRECTORY ${QEV_DEB_DOC})
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/copyright ${QEV_DEB_DOC}/copyright COPYONLY)
add_custom_command(OUTPUT ${QEV_DEB_DOC}/changelog.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/deb/changelog > ${QEV_DEB_DOC}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/deb/changelog)
add_custom_target(qev_deb_doc ALL DEPENDS ${QEV_DEB_DOC}/changelog.gz)
install(FILES ${QEV_DEB_DOC}/copyright ${QEV_DEB_DOC}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qev)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QEV Maintainers <qev-maintainers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure a clock device on a serial port")
# The synopsis is the summary; CPack indents these lines and marks the empty one.
set(CPACK_PACKAGE_DESCRIPTION "QEV sets the date and time of a serial-attached clock device in UTC,
as typed or from the computer's clock, and sends it the configuration of its
sixteen display zones: UTC offset, daylight-saving rule and 12- or 24-hour
display.

A zone may follow a time zone of the IANA database (Europe/London,
America/New_York): QEV keeps its offset right all year, using the device's
own US rule where it serves and sending the zone again at each change
elsewhere.

Besides its window, it has commands that need no display (qev sync,
qev send-zones, qev zones, qev ports), and systemd user timers that keep the
clock on time every hour and its zones at their offsets once enabled.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The zone rules come from the system's time-zone database.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, tzdata")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
