# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Read by cpack before it builds each package. The package's architecture is that of the executable that was
# built: labelled with another machine's, it would install there and fail to run, so an executable that the
# table does not name stops cpack.
if(NOT EXISTS "${CPACK_SIGSEND_BINARY}")
  message(FATAL_ERROR "sigsend: ${CPACK_SIGSEND_BINARY} is missing; build it before cpack.")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/architectures.cmake)
sigsend_architecture("${CPACK_SIGSEND_BINARY}" arch)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch_DEBIAN})
set(CPACK_RPM_PACKAGE_ARCHITECTURE ${arch_RPM})
if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  message(FATAL_ERROR "sigsend: no package architecture is known for ${CPACK_SIGSEND_BINARY} "
                      "(ELF class/data/machine ${arch_HEADER}); add it to cmake/architectures.cmake.")
endif()

# dpkg-shlibdeps names the C library that the fallback depends on with the version it needs; without it,
# the name stands alone.
find_program(SHLIBDEPS_EXECUTABLE dpkg-shlibdeps)
if(CPACK_DEBIAN_PACKAGE_SHLIBDEPS AND NOT SHLIBDEPS_EXECUTABLE)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS libc6)
endif()

# The .rpm names every licence of what the executable holds, and the static build's bundled works as each
# tool reads them: Debian's Static-Built-Using at each source package's version (deb-rebuild.cmake writes
# the field, which CPack does not know) and Fedora's bundled() Provides at each upstream version, all three
# written by the documents package beside the SBOM.
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_SIGSEND_STATIC_BUILT_USING "")
if(EXISTS "${CPACK_SIGSEND_SBOM}")
  get_filename_component(notices "${CPACK_SIGSEND_SBOM}" DIRECTORY)
  file(READ "${notices}/packaging.json" packaging)
  string(JSON CPACK_RPM_PACKAGE_LICENSE GET "${packaging}" license)
  string(JSON CPACK_SIGSEND_STATIC_BUILT_USING GET "${packaging}" static_built_using)
  string(JSON CPACK_RPM_PACKAGE_PROVIDES GET "${packaging}" bundled)
endif()
