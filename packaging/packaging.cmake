# The Debian package: `cpack --preset release` (or the build target "package")
# turns the installed tree into tesselwick_<version>_<arch>.deb.
set(TESSELWICK_MAINTAINER "TesselWick developers <developers@tesselwick.example>"
    CACHE STRING "Maintainer named in the Debian package")

# Debian wants its copyright file and a compressed changelog in the package's
# documentation folder.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tesselwick)
set(changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog
          ${CMAKE_BINARY_DIR}/packaging/changelog
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the package changelog" VERBATIM)
add_custom_target(tesselwick_changelog ALL DEPENDS ${changelog_gz})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog_gz} DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesselwick)
set(CPACK_PACKAGE_VENDOR "TesselWick developers")
set(CPACK_PACKAGE_CONTACT "${TESSELWICK_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "submits PAD files to software download sites")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSELWICK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TESSELWICK_SITE_URL}/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The long description below the summary; CPack indents it and marks the empty
# line as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "TesselWick is a utility for authors of downloadable software. It fetches
the author's PAD file (the XML file that describes a software product to
download sites), takes the product's category out of it and notifies every
download site in its site list, then writes an HTML report of which sites
accepted the submission. It keeps its site list up to date from the maker's
update server and remembers the PAD file addresses used.

This package holds the desktop program tesselwick, the command-line program
tesselwick-submit for scripts, and tesselwick-site, a small local web site
that serves the manual, the site-list updates and, in demo mode, sample
download sites to try the program on.")

include(CPack)
