# The documents that `cmake --install` puts beside the programs, and
# `make package`, the Debian package of everything it installs.
include(GNUInstallDirs)

# The manual pages, with the version filled in, and the changelog, compressed
# as Debian keeps them.
if(UNIX)
  foreach(page marrowgate marrowgate-convert)
    configure_file(docs/man/${page}.1.in man/${page}.1 @ONLY)
  endforeach()
  configure_file(docs/CHANGELOG.md doc/changelog COPYONLY)
  set(compressed)
  foreach(file man/marrowgate.1 man/marrowgate-convert.1 doc/changelog)
    add_custom_command(OUTPUT ${file}.gz
      COMMAND gzip -9nc ${file} > ${file}.gz
      DEPENDS ${PROJECT_BINARY_DIR}/${file}
      WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    list(APPEND compressed ${PROJECT_BINARY_DIR}/${file}.gz)
  endforeach()
  add_custom_target(marrowgate-docs ALL DEPENDS ${compressed})
  install(FILES ${PROJECT_BINARY_DIR}/man/marrowgate.1.gz
                ${PROJECT_BINARY_DIR}/man/marrowgate-convert.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/doc/changelog.gz
                ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/marrowgate)
endif()

# Installed under /usr. The runtime dependencies are read off the programs'
# shared libraries by dpkg-shlibdeps, so they follow the build.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marrowgate)
set(CPACK_PACKAGE_VERSION ${MARROWGATE_DISPLAY_VERSION})
set(CPACK_PACKAGE_VENDOR "Marrowgate Project")
set(CPACK_PACKAGE_CONTACT "Marrowgate Developers <dev@marrowgate.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converts a Windows Live Mail store into mbox mailboxes")
set(CPACK_PACKAGE_DESCRIPTION
    "Marrowgate walks a Windows Live Mail store, a tree of .eml message files, and\n\
appends every message to an mbox mailbox, one mailbox per folder, in an output\n\
tree that mirrors the store. Entourage, Apple Mail, Thunderbird and other mbox\n\
readers can import the result. It comes as a desktop window (marrowgate) and\n\
as a command-line converter (marrowgate-convert).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# "Help Manual" opens the manual in the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
include(CPack)
