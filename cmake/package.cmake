# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# Releases. A source tarball of the tracked files (cmake --build DIR --target package_source
# gives vantorel-VERSION.tar.gz), and on Linux a Debian package built from the install rules
# (cpack -G DEB in a configured and built tree gives vantorel_VERSION_ARCH.deb).

set(VANTOREL_MAINTAINER "The vantorel developers <developers@vantorel.org>")

set(CPACK_PACKAGE_NAME vantorel)
set(CPACK_PACKAGE_VENDOR "The vantorel developers")
set(CPACK_PACKAGE_CONTACT "${VANTOREL_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://vantorel.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hardware monitor for Supermicro server boards")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "vantorel identifies the board from its SMBIOS baseboard strings, reads the\n"
    "board's monitoring chip (Winbond W83792D or W83793G, or the two chips of the\n"
    "X6DVA) over the SMBus through i2c-dev, prints the temperatures, fan speeds\n"
    "and voltages once as a table, CSV, JSON or Prometheus metrics, or writes\n"
    "them atomically to a file (for node_exporter's textfile collector), and\n"
    "exits with a sysexits(3) status. It only reads: it never writes a register\n"
    "of the chip.\n"
    "\n"
    "Seventeen boards are supported; vantorel -l lists them. With -N it is a\n"
    "Nagios or Icinga check that judges the readings against the limits the\n"
    "chip holds. Prometheus alert rules for the metrics, and the check's Icinga 2\n"
    "and Nagios 4 definitions, are in /usr/share/vantorel.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# The source tarball: what git tracks. The patterns are regular expressions over absolute
# paths; leave out the build trees, git's own files and what editors and tools leave behind.
# scripts/distcheck compares the tarball's listing with git ls-files.
string(REPLACE "." "[.]" vantorel_source_re "${PROJECT_SOURCE_DIR}")
string(REPLACE "+" "[+]" vantorel_source_re "${vantorel_source_re}")
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME vantorel-${PROJECT_VERSION})
set(CPACK_SOURCE_IGNORE_FILES
    "^${vantorel_source_re}/build/"
    "/[.]git/" "/[.]git$"
    "/[.]cache/" "/__pycache__/" "/[.]vscode/" "/[.]idea/" "~$" "[.]sw[op]$" "[.]orig$"
    "[.]rej$")

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # What the Debian package adds to the program and the page: the alert rules, the page
  # compressed as Debian policy asks (gzip -9n, no name or time stamp inside), the copyright
  # file in the machine-readable format with the license text from LICENSE, and the changelog
  # in Debian's format, named as a native package names it.
  set(vantorel_deb ${PROJECT_BINARY_DIR}/debian)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE vantorel_license)
  string(REGEX REPLACE "^Copyright[^\n]*\n\n" "" vantorel_license "${vantorel_license}")
  string(REGEX REPLACE "\n+$" "" vantorel_license "${vantorel_license}")
  string(REPLACE "\n\n" "\n.\n" vantorel_license "${vantorel_license}")
  string(REPLACE "\n" "\n " VANTOREL_LICENSE_TEXT " ${vantorel_license}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  configure_file(packaging/debian/copyright.in ${vantorel_deb}/copyright @ONLY)
  configure_file(packaging/debian/changelog.in ${vantorel_deb}/changelog @ONLY)

  add_custom_command(
    OUTPUT ${vantorel_deb}/vantorel.8.gz ${vantorel_deb}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_BINARY_DIR}/man/vantorel.8
            ${vantorel_deb}/vantorel.8
    COMMAND ${CMAKE_COMMAND} -E copy ${vantorel_deb}/changelog ${vantorel_deb}/changelog.tmp
    COMMAND gzip -9nf ${vantorel_deb}/vantorel.8
    COMMAND gzip -9nf ${vantorel_deb}/changelog.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${vantorel_deb}/changelog.tmp.gz
            ${vantorel_deb}/changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/man/vantorel.8 ${vantorel_deb}/changelog
    VERBATIM)
  add_custom_target(vantorel_debian_files ALL
                    DEPENDS ${vantorel_deb}/vantorel.8.gz ${vantorel_deb}/changelog.gz)

  install(FILES ${vantorel_deb}/vantorel.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8
          COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES ${vantorel_deb}/copyright ${vantorel_deb}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantorel
          COMPONENT debian EXCLUDE_FROM_ALL)
  # The alert rules for the Prometheus form's metrics, for a Prometheus server to load.
  install(FILES ${PROJECT_SOURCE_DIR}/contrib/prometheus/vantorel-alerts.yml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/vantorel
          COMPONENT debian EXCLUDE_FROM_ALL)
  # The check's definitions for the monitoring daemons that run -N: an Icinga 2
  # CheckCommand and a Nagios 4 command, for an administrator to include.
  install(FILES ${PROJECT_SOURCE_DIR}/contrib/icinga2/vantorel.conf
                ${PROJECT_SOURCE_DIR}/contrib/nagios/vantorel.cfg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/vantorel
          COMPONENT debian EXCLUDE_FROM_ALL)

  # The timer and its service, where systemd looks for a package's units (enabled by nobody
  # but the administrator), and the service's options in /etc/default, a conffile. The
  # maintainer scripts reload systemd after an install or upgrade (so changed units are in force
  # at once), stop the timer on removal and, on purge, remove the links that enabling it made,
  # the report the service last wrote and any temporary file a killed run left beside it.
  install(FILES packaging/systemd/prometheus-node-exporter-vantorel.service
                packaging/systemd/prometheus-node-exporter-vantorel.timer
          DESTINATION lib/systemd/system COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES packaging/debian/prometheus-node-exporter-vantorel.default
          DESTINATION /etc/default RENAME prometheus-node-exporter-vantorel
          COMPONENT debian EXCLUDE_FROM_ALL)
  file(WRITE ${vantorel_deb}/conffiles "/etc/default/prometheus-node-exporter-vantorel\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${vantorel_deb}/conffiles ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
      ${PROJECT_SOURCE_DIR}/packaging/debian/prerm ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)

  # One package of the program and the Debian files (not the uncompressed page), under /usr
  # (the prefix of the DEB generator, whatever CMAKE_INSTALL_PREFIX says).
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program debian)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTOREL_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The program is linked against the shared C library, as Debian links its own programs, so
  # that the C library's security updates reach it without a rebuild; the dependency on it
  # comes from dpkg-shlibdeps. A tree configured for a static program makes no package
  # (cmake/package-config.cmake.in).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS prometheus-node-exporter)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  configure_file(cmake/package-config.cmake.in ${PROJECT_BINARY_DIR}/package-config.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/package-config.cmake)
endif()

include(CPack)
