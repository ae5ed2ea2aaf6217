# What a system installation adds to the program: the manual page, the bash
# completion, the copyright and changelog files, an uninstall target for
# `cmake --install`, and the Debian package (`cpack -G DEB`, run by
# scripts/package.sh from a build configured with CMAKE_INSTALL_PREFIX=/usr).

set(TAVOX_PACKAGE_CONTACT "TAVOX developers <chyby@kalmira.cz>" CACHE STRING
    "Maintainer of the Debian package and author of its changelog entry")

# The manual page: docs/tavox.1.scd through scdoc.
find_program(TAVOX_SCDOC scdoc)
if(TAVOX_SCDOC)
  set(manual_page ${PROJECT_BINARY_DIR}/tavox.1.gz)
  add_custom_command(OUTPUT ${manual_page}
    COMMAND ${CMAKE_COMMAND} -DSCDOC=${TAVOX_SCDOC} -DSOURCE=${PROJECT_SOURCE_DIR}/docs/tavox.1.scd
            -DOUTPUT=${manual_page} -P ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/tavox.1.scd ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
    COMMENT "Building the manual page")
  add_custom_target(tavox_manual_page ALL DEPENDS ${manual_page})
  install(FILES ${manual_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  message(STATUS "Manual page: built with ${TAVOX_SCDOC}")
else()
  message(STATUS "Manual page: not built (scdoc not found; install scdoc to build it)")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/tavox.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavox)

# copyright and changelog.gz, as Debian wants them in share/doc/tavox.
string(TIMESTAMP changelog_date "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
set(changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_BINARY_DIR}/packaging/changelog -DOUTPUT=${changelog}
          -P ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake)
add_custom_target(tavox_changelog ALL DEPENDS ${changelog})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The changes users notice, release by release, next to the package's own changelog.
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The HTML documentation, which scripts/docs.sh builds into <build>/docs/html;
# scripts/package.sh builds it and turns this on.
option(TAVOX_INSTALL_HTML_DOCS "Install the HTML documentation of <build>/docs/html" OFF)
if(TAVOX_INSTALL_HTML_DOCS)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/docs/html/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/html
    PATTERN .buildinfo EXCLUDE)
endif()

# `cmake --build build --target uninstall` undoes `cmake --install build`.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing what cmake --install put in place"
  VERBATIM)

# The Debian package. Its dependencies: what dpkg-shlibdeps finds for the
# program and the modules (Qt 6, libsndfile, the C++ runtime), and what they
# load at run time besides.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAVOX_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "amplitude spectra of sample files and recordings, in batches")
set(CPACK_PACKAGE_DESCRIPTION "\
TAVOX cuts exposures of a power-of-two width (128 to 65536 samples) out of a
chosen range of each input file (raw samples of any format, WAV, FLAC, AIFF
and other sound files read with libsndfile, or SigMF recordings), optionally removes
their mean, weights them with a rectangle, Hanning or flat-top window, runs an
FFT and writes the amplitude spectrum (and the phase) by one of three methods:
one exposure per file, the average of several exposures, or each exposure to
a file of its own.
.
It is used from the command line, from its Qt desktop window, and from Python
through the module tavox.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(depends "")
if(TAVOX_BUILD_PYTHON)
  set(python_abi ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
  math(EXPR next_minor "${Python3_VERSION_MINOR} + 1")
  list(APPEND depends "python3 (>= ${python_abi}~)" "python3 (<< ${Python3_VERSION_MAJOR}.${next_minor})"
    python3-numpy)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-openpyxl, python3-distributed, python3-tqdm")
endif()
if(TAVOX_BUILD_UI)
  list(APPEND depends fonts-comic-neue fonts-liberation2)
endif()
if(TAVOX_INSTALL_HTML_DOCS)
  list(APPEND depends libjs-sphinxdoc)
endif()
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
if(TAVOX_BUILD_PYTHON)
  set(python_package_dir ${CMAKE_INSTALL_PREFIX}/${TAVOX_PYTHON_INSTALL_SUBDIR}/tavox)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/prerm.in ${PROJECT_BINARY_DIR}/packaging/prerm @ONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/prerm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
endif()
# Read by cpack: refuses a package without the manual page, the desktop
# windows or the Python module, or outside /usr.
set(CPACK_TAVOX_COMPLETE "${TAVOX_BUILD_UI};${TAVOX_BUILD_PYTHON};${TAVOX_SCDOC}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageChecks.cmake)
include(CPack)
