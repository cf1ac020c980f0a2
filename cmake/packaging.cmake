# Install rules and packages (CPack).
#
# Linux (cpack -G DEB under /usr, cpack -G TGZ under qstat-linux-x86_64/):
#   bin/qvolstat, bin/qmassstat
#   share/doc/qstat/README.md, LICENSE, examples/
#   share/man/man1/qvolstat.1.gz, qmassstat.1.gz
# Windows (cpack -G ZIP in the MinGW cross build), all in the one folder
# qstat-win64/ of the archive:
#   qvolstat.exe, qmassstat.exe, docs/README.md, docs/LICENSE, examples/

set(QSTAT_EXAMPLES
  ${PROJECT_SOURCE_DIR}/examples/tidal_discharge.xys
  ${PROJECT_SOURCE_DIR}/examples/knik_river_daily.txt
  ${PROJECT_SOURCE_DIR}/examples/sediment_flux.txt)
set(QSTAT_MAN_PAGES
  ${PROJECT_SOURCE_DIR}/docs/qvolstat.1
  ${PROJECT_SOURCE_DIR}/docs/qmassstat.1)

if(WIN32)
  set(QSTAT_BIN_DIR .)
  set(QSTAT_DOC_DIR docs)
  set(QSTAT_EXAMPLE_DIR examples)
else()
  set(QSTAT_BIN_DIR bin)
  set(QSTAT_DOC_DIR share/doc/qstat)
  set(QSTAT_EXAMPLE_DIR share/doc/qstat/examples)
endif()

install(TARGETS qvolstat qmassstat RUNTIME DESTINATION ${QSTAT_BIN_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${QSTAT_DOC_DIR})
install(FILES ${QSTAT_EXAMPLES} DESTINATION ${QSTAT_EXAMPLE_DIR})

if(NOT WIN32)
  # The pages are gzipped when the build is configured; editing one
  # configures again, so the installed page never lags behind its source.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QSTAT_MAN_PAGES})
  set(QSTAT_MAN_GZ)
  foreach(page ${QSTAT_MAN_PAGES})
    get_filename_component(name ${page} NAME)
    set(gz ${PROJECT_BINARY_DIR}/man/${name}.gz)
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
    # A fixed time stamp inside the archive keeps the package reproducible.
    file(ARCHIVE_CREATE OUTPUT ${gz} PATHS ${page} FORMAT raw COMPRESSION GZip
      COMPRESSION_LEVEL 9 MTIME 0)
    list(APPEND QSTAT_MAN_GZ ${gz})
  endforeach()
  install(FILES ${QSTAT_MAN_GZ} DESTINATION share/man/man1)
endif()

set(CPACK_PACKAGE_NAME qstat)
set(CPACK_PACKAGE_VENDOR "the qvolstat and qmassstat authors")
set(CPACK_PACKAGE_CONTACT "the qvolstat and qmassstat authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Inflow, outflow, gross and net totals of a transport-rate time series")
set(CPACK_PACKAGE_DESCRIPTION [=[
qvolstat integrates a water discharge time series (hours, m^3/s) with the
trapezoid rule, after zeroing samples above an outlier threshold, and
reports inflow, outflow, gross and net volumes in cubic metres, cubic yards
and cubic feet, as totals and as daily and yearly rates. qmassstat does the
same for a mass flux in kg/s and reports kilograms.]=])

# The archives and their top directory carry no version: a dot anywhere
# in a path before the extension makes the programs read an .xys series as
# .txt, so an unpacked qstat-1.1.0 folder would break the bundled .xys example.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  # The stack listing of a run-time error names routines from the dynamic
  # symbol table, which stripping keeps. (The Windows programs keep their
  # debug information: their stack walk reads it.)
  set(CPACK_STRIP_FILES ON)
  string(TOLOWER "linux-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
endif()
set(CPACK_PACKAGE_FILE_NAME qstat-${CPACK_SYSTEM_NAME})

# Debian package: qstat_<version>_<arch>.deb, installed under /usr.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the qvolstat and qmassstat authors")
find_program(QSTAT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QSTAT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

include(CPack)
