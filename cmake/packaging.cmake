# Man pages, shell completion, and the Debian package built by scripts/package.

set(OSTREL_PROGRAMS ostrel-serial-capture ostrel-capture ostrel-replay ostrel-demo-host ostrel-send)
foreach(program IN LISTS OSTREL_PROGRAMS)
  # Installed compressed, as Debian keeps its man pages.
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${program}.1 > ${page}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${program}.1 VERBATIM)
  list(APPEND OSTREL_MAN_PAGES ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion loads a command's completion from a file of its name.
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/completion/ostrel.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()

add_custom_target(man_pages ALL DEPENDS ${OSTREL_MAN_PAGES})

# Who answers for the package: named once, here, for the control file, the
# copyright file and the changelog.
set(OSTREL_MAINTAINER "Ostrel developers <developers@ostrel.dev>" CACHE STRING
    "The package's maintainer, as NAME <ADDRESS>")
set(doc ${CMAKE_INSTALL_DATADIR}/doc/ostrel-serial-capture)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/docs/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/docs/debian/changelog ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog > ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrel-serial-capture)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${OSTREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OSTREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Stand in for a receipt printer and list every command it is sent")
# Lines of at most 80 characters, as Debian's control files want them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A point-of-sale or kiosk program sends its print job to a serial port or to"
  "TCP port 9100. The tool records every byte, shows it as characters and hex,"
  "splits it into commands with an English description each, answers status"
  "requests as a receipt printer does, draws the receipt the job would print,"
  "and saves what it captured. ostrel-capture does the same without a window,"
  "for servers and continuous integration; ostrel-send sends a job to a printer.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The receipt renderer draws with these fonts; the libraries come from dpkg-shlibdeps.
# (xfonts-base, an X font package, may only be recommended; apt installs it all the same.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-terminus-otb, fonts-unifont")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xfonts-base, fonts-dejavu-core, fonts-liberation, bash-completion")
set(CPACK_STRIP_FILES ON)
include(CPack)
