# The Debian package: `cpack -G DEB` in the build folder. Only what install()
# names goes in (the executable, the desktop files, the documents below and the
# service template); tests and benchmarks have no install rules. The runtime dependencies come from the executable's
# shared libraries (dpkg-shlibdeps, from dpkg-dev); what Qt loads at run time
# without linking it is named by hand.
set(KALENT_PACKAGE_MAINTAINER
    "Seed ec6c6b04 maintainers <maintainers@users.noreply.c-seed-ec6c6b04.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalent-service)
set(CPACK_PACKAGE_INSTALL_DIRECTORY kalent-service)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "${KALENT_PACKAGE_PREFIX}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KALENT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first line is the synopsis that package lists show.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "service program for the ВИРАНТ immunoenzyme analyzer (plate reader)
Service program for the ВИРАНТ analyzer of immunoenzyme reactions, a plate
reader of 8 x 12 optical densities connected over a serial line. It reads the
optical-density table and the results protocol, edits and writes the
instrument's database of test systems and reprograms its firmware. A built-in
simulated instrument lets you try everything without one, and command-line
actions run every exchange without the window.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a platform plugin (xcb, wayland), which Qt loads rather than
# links, and its fixed layout is drawn for DejaVu Sans; the condensed face is extra.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-extra")
# The readings store: Qt SQL's SQLite driver (loaded as a plugin, so the
# shared-library scan does not see it) for the file in the data folder, and
# the PostgreSQL driver for a lab's server (--store postgresql://...).
if(KALENT_WITH_STORE)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6sql6-sqlite")
    string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", libqt6sql6-psql")
endif()

# Installing and packing take the executable as built (scripts/package.sh builds
# it first) instead of building every test and benchmark beforehand.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# What Debian asks of every package beside the program: the copyright file, the
# changelog and the manual page (compressed without a time stamp), the README and
# the unit example in the documentation folder, bash completion and the service
# template (installed, not enabled).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND KALENT_BUILD_UI)
    find_program(KALENT_GZIP gzip REQUIRED)
    set(packaging_dir "${CMAKE_CURRENT_BINARY_DIR}/packaging")
    configure_file(packaging/changelog.in "${packaging_dir}/changelog" @ONLY)
    set(compressed)
    foreach(pair "changelog|${packaging_dir}/changelog"
                 "kalent-service.1|${CMAKE_CURRENT_SOURCE_DIR}/packaging/kalent-service.1")
        string(REPLACE "|" ";" pair "${pair}")
        list(GET pair 0 name)
        list(GET pair 1 source)
        add_custom_command(OUTPUT "${packaging_dir}/${name}.gz"
            COMMAND ${KALENT_GZIP} -9 -n -c "${source}" > "${packaging_dir}/${name}.gz"
            DEPENDS "${source}" VERBATIM)
        list(APPEND compressed "${packaging_dir}/${name}.gz")
    endforeach()
    add_custom_target(kalent_packaging_files ALL DEPENDS ${compressed})
    add_dependencies(kalent-service kalent_packaging_files)

    install(FILES packaging/copyright "${packaging_dir}/changelog.gz" README.md
                  docs/kalent-watch.service
            DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(FILES "${packaging_dir}/kalent-service.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES packaging/kalent-service.bash-completion
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME kalent-service)
    install(FILES docs/kalent-watch@.service DESTINATION lib/systemd/system)
endif()

include(CPack)
