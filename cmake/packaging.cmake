# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# The Debian and RPM packages (`cpack -G "DEB;RPM"` in a build): with SOURCE_DATE_EPOCH set, the same
# bytes on every build of the same tree.

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The sigsend developers")
set(CPACK_PACKAGE_CONTACT "The sigsend developers <sigsend@example.org>" CACHE STRING
    "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_RPM_PACKAGE_URL "${PROJECT_HOMEPAGE_URL}")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "sigsend PID SIG hands one signal to one process or process group through"
  "kill(2) and does nothing else. It is silent and always exits 0, and with"
  "fewer than two arguments it prints one usage line."
  ""
  "It is built to be called from scripts in a loop: the program is a static"
  "executable that starts in a handful of page faults, several times faster"
  "than procps kill. Arguments are converted like atoi(3), except that"
  "out-of-range numbers saturate instead of wrapping around, so no text can"
  "turn into -1, every process, by accident.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

# package-fields.cmake names the packages' architecture after this executable.
set(CPACK_SIGSEND_BINARY ${PROJECT_BINARY_DIR}/sigsend)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The static build depends on nothing and has an SBOM (package-fields.cmake reads the licences and bundled
# works beside it); the fallback depends on the C library, which dpkg-shlibdeps names.
if(SIGSEND_STATIC_MUSL)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_RPM_PACKAGE_AUTOREQPROV OFF)
  set(CPACK_SIGSEND_SBOM ${PROJECT_BINARY_DIR}/notices/sigsend.spdx.json)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_SUMMARY "Send one signal to one process or process group")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_BINARY_DIR}/rpm-changelog)
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/man /usr/share/man/man1)
# Installed where it is, the notices marked as licences.
set(CPACK_PACKAGE_RELOCATABLE OFF)
set(CPACK_RPM_USER_FILELIST "%license /usr/share/doc/sigsend/copyright" "%license /usr/share/doc/sigsend/NOTICES")
# No build host, and SOURCE_DATE_EPOCH for every time stamp.
string(JOIN "\n" CPACK_RPM_SPEC_MORE_DEFINE
  "%define packager ${CPACK_PACKAGE_CONTACT}"
  "%define _buildhost reproducible"
  "%define use_source_date_epoch_as_buildtime 1"
  "%define clamp_mtime_to_source_date_epoch 1"
  "%define _build_id_links none")

# The changelog: Debian's a file, which package-staging.cmake adds to the .deb, the RPM's in its header.
# Both dates honour SOURCE_DATE_EPOCH.
string(TIMESTAMP built "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${PROJECT_BINARY_DIR}/changelog
     "${PROJECT_NAME} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n -- ${CPACK_PACKAGE_CONTACT}  ${built}\n")
string(TIMESTAMP day "%a %b %d %Y" UTC)
file(WRITE ${PROJECT_BINARY_DIR}/rpm-changelog
     "* ${day} ${CPACK_PACKAGE_CONTACT} - ${PROJECT_VERSION}-1\n- Release ${PROJECT_VERSION}.\n")
set(CPACK_SIGSEND_CHANGELOG ${PROJECT_BINARY_DIR}/changelog)
set(CPACK_SIGSEND_STATIC ${SIGSEND_STATIC_MUSL})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-staging.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package-fields.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-rebuild.cmake)
include(CPack)
