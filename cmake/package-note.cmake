# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Links the package metadata note (an ELF note .note.package, owner FDO, as
# systemd and the UAPI group describe it) into sigsend, where the linker can
# write one (GNU ld 2.39 and later): a core dump or a crash report then names
# the program, its version and architecture, without asking a package
# manager. It sets SIGSEND_PACKAGE_NOTE to the note's JSON, or to "" where
# there is none.
#
# The same executable ships in a .deb, an .rpm and an image, so the note
# names no distribution and its type is purl's "generic"; its license is
# sigsend's own, as the note is written before the link says what else it
# takes (the SBOM has that). sigsend has no CPE of its own, so no appCpe.
# It takes a few hundred bytes of the first segment, on no page that a run
# touches.
include(CheckLinkerFlag)
include(${CMAKE_CURRENT_LIST_DIR}/architectures.cmake)
check_linker_flag(CXX "SHELL:-Xlinker --package-metadata={}" SIGSEND_LINKER_WRITES_PACKAGE_NOTE)

sigsend_architecture_row(multiarch "${CMAKE_LIBRARY_ARCHITECTURE}" note_arch)
set(note_type generic)
set(note_license MIT)
# Each value is written into the JSON as it is, so only the characters that
# Debian allows in a version are taken: none needs escaping, in JSON or on
# the linker's command line. A member whose value is empty or has others is
# left out.
set(SIGSEND_PACKAGE_NOTE "")
set(note_keys "")
set(note_values "")
foreach(member type=note_type name=PROJECT_NAME version=PROJECT_VERSION architecture=note_arch_DEBIAN
               license=note_license)
  string(REPLACE "=" ";" member ${member})
  list(GET member 0 key)
  list(GET member 1 variable)
  if("${${variable}}" MATCHES "^[A-Za-z0-9][A-Za-z0-9._+~-]*$")
    string(APPEND SIGSEND_PACKAGE_NOTE ",\"${key}\":\"${${variable}}\"")
    list(APPEND note_keys ${key})
    list(APPEND note_values "${${variable}}")
  endif()
endforeach()
string(REGEX REPLACE "^," "{" SIGSEND_PACKAGE_NOTE "${SIGSEND_PACKAGE_NOTE}}")
# CMake's JSON parser reads every member back as it was meant.
foreach(key value IN ZIP_LISTS note_keys note_values)
  string(JSON read ERROR_VARIABLE error GET "${SIGSEND_PACKAGE_NOTE}" ${key})
  if(error OR NOT read STREQUAL value)
    message(FATAL_ERROR "sigsend: the package note ${SIGSEND_PACKAGE_NOTE} is not JSON: ${error}")
  endif()
endforeach()

if(SIGSEND_LINKER_WRITES_PACKAGE_NOTE)
  # One argument to the linker: -Wl, would split the JSON at its commas.
  target_link_options(sigsend PRIVATE "SHELL:-Xlinker '--package-metadata=${SIGSEND_PACKAGE_NOTE}'")
else()
  message(STATUS "sigsend: the linker writes no package metadata note (--package-metadata)")
  set(SIGSEND_PACKAGE_NOTE "")
endif()
