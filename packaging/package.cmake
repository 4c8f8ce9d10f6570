# What `./stand package` puts into thermostand_<version>_amd64.deb: the three
# programs in /usr/bin, their heater guard in /usr/libexec/thermostand, the menu entry and icon (resources/), a manual page
# for each program, the AppStream metadata in /usr/share/metainfo, and the
# user's README (packaging/README.installed.md), changelog and copyright in
# /usr/share/doc/thermostand.
include(GNUInstallDirs)

set(thermo_programs thermostand-cli thermostand-sim)
if(TARGET thermostand)
    list(PREPEND thermo_programs thermostand)
endif()
install(TARGETS ${thermo_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The heater guard is started by the programs, never by a person.
install(TARGETS thermostand-guard RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/thermostand)

# Debian wants manual pages and the changelog compressed; -n keeps the
# archive free of the build's time stamps, so a rebuild gives the same bytes.
find_program(GZIP gzip REQUIRED)
set(thermo_compressed)
foreach(page thermostand thermostand-cli thermostand-sim)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in
                   ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1 @ONLY)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND ${GZIP} -9nf -k ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1
        VERBATIM)
    list(APPEND thermo_compressed ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The changelog's newest entry names the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog thermo_changelog_head LIMIT_COUNT 1)
if(NOT thermo_changelog_head MATCHES "^thermostand \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog does not start with version ${PROJECT_VERSION}")
endif()
set(out ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/doc
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
list(APPEND thermo_compressed ${out})
add_custom_target(thermo_package_docs ALL DEPENDS ${thermo_compressed})

set(thermo_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/thermostand)
install(FILES ${out} ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${thermo_docdir})
# The repository's README.md is the developer's (./stand, build/bin, pictures
# in docs/); the package's is written for whoever installed it.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/README.installed.md DESTINATION ${thermo_docdir}
        RENAME README.md)

# AppStream: the release is the changelog's newest, dated by its trailer line
# (" -- NAME <MAIL>  Tue, 08 Dec 2026 09:00:00 +0000").
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog thermo_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT thermo_trailer MATCHES ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "packaging/changelog: no date in its first trailer line")
endif()
set(thermo_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND thermo_months ${CMAKE_MATCH_2} thermo_month)
math(EXPR thermo_month "${thermo_month} + 1")
math(EXPR thermo_day "${CMAKE_MATCH_1}") # "08" -> 8
set(thermo_year ${CMAKE_MATCH_3})
foreach(part thermo_day thermo_month)
    if(${part} LESS 10)
        set(${part} 0${${part}})
    endif()
endforeach()
set(THERMO_RELEASE_DATE ${thermo_year}-${thermo_month}-${thermo_day})
set(THERMO_APPSTREAM_ID org.example.thermostand)
configure_file(${PROJECT_SOURCE_DIR}/packaging/thermostand.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/${THERMO_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${THERMO_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME thermostand)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "thermostand <dev@thermostand.example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the shared-library scan cannot see them: Qt's
# platform plugins (the window needs xcb or wayland) and Qt's Russian texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "laboratory thermal control stand")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The desktop program of a university laboratory stand on which students study
control laws on a small thermal plant: a DS18B20 sensor on a 1-Wire adapter
behind a serial port measures the plant, a heater on the parallel port's
data register heats it. A fuzzy regulator and a PID regulator drive the
heater; every sample is recorded to an archive that the program charts,
replays and exports.
.
thermostand-cli reads the sensor, runs the control cycle headless and
exports archives; thermostand-sim simulates the whole stand.")
include(CPack)
