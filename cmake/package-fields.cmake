# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Read by cpack before it builds each package. The package's architecture is
# that of the executable that was built (architectures.cmake). A package
# labelled with another machine's architecture would install there and then
# fail to run, so an executable that the table does not name stops cpack.
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

# The fallback depends on the C library. dpkg-shlibdeps names it with the
# version it needs; where dpkg-shlibdeps is missing, the name must stand alone.
if(CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
  find_program(SHLIBDEPS_EXECUTABLE dpkg-shlibdeps)
  if(NOT SHLIBDEPS_EXECUTABLE)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libc6)
  endif()
endif()

# The .rpm names every licence of what the executable holds: sigsend's own,
# and, in the static build, those of the works that its SBOM lists. What the
# static executable bundles is named as each packaging tool reads it:
# Debian's Static-Built-Using, with each source package at its exact version
# (deb-rebuild.cmake writes the field, which CPack does not know), and
# Fedora's bundled() Provides, with each work's upstream version. The
# documents package writes all three beside the SBOM, from the same facts.
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_SIGSEND_STATIC_BUILT_USING "")
get_filename_component(notices "${CPACK_SIGSEND_SBOM}" DIRECTORY)
if(EXISTS "${CPACK_SIGSEND_SBOM}")
  file(READ "${notices}/packaging.json" packaging)
  string(JSON CPACK_RPM_PACKAGE_LICENSE GET "${packaging}" license)
  string(JSON CPACK_SIGSEND_STATIC_BUILT_USING GET "${packaging}" static_built_using)
  string(JSON CPACK_RPM_PACKAGE_PROVIDES GET "${packaging}" bundled)
endif()
