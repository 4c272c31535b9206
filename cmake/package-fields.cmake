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
# and, in the static build, those of the works that the SBOM lists.
set(CPACK_RPM_PACKAGE_LICENSE MIT)
if(EXISTS "${CPACK_SIGSEND_SBOM}")
  file(READ "${CPACK_SIGSEND_SBOM}" sbom)
  string(JSON CPACK_RPM_PACKAGE_LICENSE GET "${sbom}" packages 0 licenseConcluded)
endif()

# What the static executable bundles, named as each packaging tool reads it,
# from the SBOM's purls: Debian's Static-Built-Using, with each source package
# at its exact version (deb-rebuild.cmake writes the field, which CPack does not
# know), and Fedora's bundled() Provides, with each work's upstream version.
set(CPACK_SIGSEND_STATIC_BUILT_USING "")
if(EXISTS "${CPACK_SIGSEND_SBOM}")
  string(JSON count LENGTH "${sbom}" packages)
  math(EXPR last "${count} - 1")
  set(built_using "")
  set(bundled "")
  foreach(i RANGE 1 ${last})
    string(JSON purpose GET "${sbom}" packages ${i} primaryPackagePurpose)
    if(NOT purpose STREQUAL "LIBRARY")
      continue()
    endif()
    string(JSON name GET "${sbom}" packages ${i} name)
    string(JSON purl GET "${sbom}" packages ${i} externalRefs 0 referenceLocator)
    string(JSON cpe GET "${sbom}" packages ${i} externalRefs 1 referenceLocator)
    if(NOT purl MATCHES "^pkg:deb/[^/]+/([^@]+)@([^?]+)(\\?(.*))?$")
      message(FATAL_ERROR "sigsend: the SBOM's purl for ${name} is not a Debian package's: ${purl}")
    endif()
    set(source ${CMAKE_MATCH_1})
    string(REPLACE "%2B" "+" version "${CMAKE_MATCH_2}")
    if(CMAKE_MATCH_4 MATCHES "(^|&)upstream=([^&]+)")
      set(source ${CMAKE_MATCH_2})
    endif()
    list(APPEND built_using "${source} (= ${version})")
    string(REGEX REPLACE "^cpe:2\\.3:a:[^:]+:[^:]+:([^:]+):.*$" "\\1" upstream "${cpe}")
    list(APPEND bundled "bundled(${name}) = ${upstream}")
  endforeach()
  list(REMOVE_DUPLICATES built_using)
  list(JOIN built_using ", " CPACK_SIGSEND_STATIC_BUILT_USING)
  list(JOIN bundled ", " CPACK_RPM_PACKAGE_PROVIDES)
endif()
