# SPDX-License-Identifier: MIT
# The Debian package: `cpack -G DEB` in a configured build directory.

# Debian's copyright file, in the machine-readable format, from LICENSE and
# the SPDX identifier that the shipped source carries.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/sigsend.cpp spdx REGEX "SPDX-License-Identifier:" LIMIT_COUNT 1)
string(REGEX REPLACE ".*SPDX-License-Identifier: *([^ ]+).*" "\\1" spdx "${spdx}")
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE holder REGEX "^Copyright" LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright (\\(c\\) )?" "" holder "${holder}")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(STRIP "${license}" license)
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: ${PROJECT_NAME}\n\n"
     "Files: *\nCopyright: ${holder}\nLicense: ${spdx}\n\n"
     "License: ${spdx}\n ${license}\n")
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The sigsend developers")
set(CPACK_PACKAGE_CONTACT "The sigsend developers <sigsend@example.org>" CACHE STRING
    "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
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
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Files that only the Debian package has; deb-staging.cmake lays them out.
string(TIMESTAMP built "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${PROJECT_BINARY_DIR}/changelog
     "${PROJECT_NAME} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n -- ${CPACK_PACKAGE_CONTACT}  ${built}\n")
set(CPACK_SIGSEND_CHANGELOG ${PROJECT_BINARY_DIR}/changelog)
set(CPACK_SIGSEND_STATIC ${SIGSEND_STATIC_MUSL})
set(CPACK_SIGSEND_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-staging.cmake)
include(CPack)
