# SPDX-License-Identifier: MIT
# Read by cpack before it builds each package. A package labelled with
# another machine's architecture would install there and then fail to run,
# so an unknown target stops cpack instead of taking the host's name.
if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  message(FATAL_ERROR "sigsend: no package architecture is known for the processor "
                      "${CPACK_SIGSEND_TARGET}; add it to cmake/packaging.cmake.")
endif()
