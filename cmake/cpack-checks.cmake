# SPDX-License-Identifier: MIT
# Read by cpack before it builds each package. A Debian package of the build
# on the system C library takes its libc6 dependency from dpkg-shlibdeps,
# which needs `file`: without either, CPack would quietly write an empty
# Depends, and that package would install without its C library.
cmake_policy(SET CMP0109 NEW) # a program must be executable to count
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
  foreach(tool "dpkg-shlibdeps|dpkg-dev" "file|file")
    string(REPLACE "|" ";" tool "${tool}")
    list(GET tool 0 program)
    list(GET tool 1 package)
    unset(found)
    find_program(found ${program} NO_CACHE)
    if(NOT found)
      message(FATAL_ERROR "sigsend: ${program} is missing, so the package would not depend "
                          "on the C library: install the ${package} package.")
    endif()
  endforeach()
endif()
