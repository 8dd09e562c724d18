# The Debian package: `cpack -G DEB` in the build folder. Only what install()
# names goes in (the executable and the desktop files); tests and benchmarks
# have no install rules. The runtime dependencies come from the executable's
# shared libraries (dpkg-shlibdeps, from dpkg-dev); what Qt loads at run time
# without linking it is named by hand.
set(KALENT_PACKAGE_MAINTAINER
    "Seed ec6c6b04 maintainers <maintainers@users.noreply.c-seed-ec6c6b04.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalent-service)
set(CPACK_PACKAGE_INSTALL_DIRECTORY kalent-service)
set(CPACK_STRIP_FILES ON)

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

# Installing and packing take the executable as built (scripts/package.sh builds
# it first) instead of building every test and benchmark beforehand.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

include(CPack)
