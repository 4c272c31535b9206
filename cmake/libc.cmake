# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Chooses the C library that the shipped sigsend links against.
#
# A run of sigsend is almost all process start-up, so the default links it
# statically against musl when musl's GCC specs file is present: no dynamic
# loader, no relocation, a handful of page faults. Otherwise it falls back to
# the host C library. Only the sigsend target is affected; tests and
# benchmarks use the host toolchain as usual.

set(SIGSEND_LIBC auto CACHE STRING "C library for sigsend: auto, musl or system")
option(SIGSEND_DISTRIBUTION_FLAGS
       "Link the musl build with the caller's RELRO and code layout (LDFLAGS) instead of two segments" OFF)
set_property(CACHE SIGSEND_LIBC PROPERTY STRINGS auto musl system)
if(NOT SIGSEND_LIBC MATCHES "^(auto|musl|system)$")
  message(FATAL_ERROR "SIGSEND_LIBC must be auto, musl or system, not '${SIGSEND_LIBC}'")
endif()

# Debian's musl-dev for this architecture (architectures.txt), else where
# other distributions and source installs put musl.
include(${CMAKE_CURRENT_LIST_DIR}/architectures.cmake)
sigsend_architecture_row(multiarch "${CMAKE_LIBRARY_ARCHITECTURE}" libc_arch)
find_file(SIGSEND_MUSL_SPECS musl-gcc.specs
          HINTS /usr/lib/${libc_arch_MUSL} /usr/lib/musl/lib /usr/local/musl/lib
          NO_DEFAULT_PATH)

# The notices and the SBOM name whoever supplied musl: the package that owns
# its libc.a, or the `source` file that scripts/from-source lays beside a
# build of a package's source. A musl that neither accounts for cannot ship.
set(musl_unaccounted "")
if(SIGSEND_MUSL_SPECS)
  file(STRINGS ${SIGSEND_MUSL_SPECS} libdir REGEX "^-L/")
  string(REGEX REPLACE "^-L([^ ]+).*$" "\\1" libdir "${libdir}")
  find_program(SIGSEND_DPKG_QUERY dpkg-query)
  set(owner 1)
  if(SIGSEND_DPKG_QUERY)
    execute_process(COMMAND ${SIGSEND_DPKG_QUERY} -S ${libdir}/libc.a RESULT_VARIABLE owner
                    OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(NOT owner EQUAL 0 AND NOT EXISTS ${libdir}/source)
    string(CONCAT musl_unaccounted "the musl in ${libdir} belongs to no package that "
           "dpkg-query knows, and no file 'source' beside it names the package it was built "
           "from, so its notices and SBOM cannot be written")
  endif()
endif()

# Every build's notices and copyright file, and the static build's SBOM and
# VEX, are written by scripts/documents, with Python's standard library.
if(NOT EXISTS /usr/bin/python3)
  message(FATAL_ERROR "sigsend: /usr/bin/python3 was not found, which writes the notices of "
                      "every build (install python3).")
endif()
string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
set(musl_missing "")
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(musl_missing "the musl build needs GCC, and the compiler is ${CMAKE_CXX_COMPILER_ID}")
elseif(NOT SIGSEND_MUSL_SPECS)
  set(musl_missing "musl-gcc.specs was not found (install the musl-tools package)")
elseif(musl_unaccounted)
  set(musl_missing "${musl_unaccounted}")
elseif("${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}}" MATCHES "-fsanitize" AND
       SIGSEND_LIBC STREQUAL "auto")
  set(musl_missing "sanitizers need the system C library")
endif()

if(SIGSEND_LIBC STREQUAL "musl" AND musl_missing)
  message(FATAL_ERROR "SIGSEND_LIBC=musl, but ${musl_missing}.")
elseif(SIGSEND_LIBC STREQUAL "system" OR musl_missing)
  set(SIGSEND_STATIC_MUSL OFF)
  if(SIGSEND_LIBC STREQUAL "auto")
    message(NOTICE "sigsend: building against the system C library, because ${musl_missing}. "
                   "The static musl build starts several times faster.")
  endif()
  # Only the libraries it calls into, whatever the compiler's default:
  # Debian's GCC links as needed, clang does not, and an unused libstdc++ is
  # a dependency and a load at every start.
  target_link_options(sigsend PRIVATE -Wl,--as-needed)
else()
  set(SIGSEND_STATIC_MUSL ON)
  message(STATUS "sigsend: static build against musl (${SIGSEND_MUSL_SPECS})")
  # The program uses only C library calls through the C headers, so it needs
  # neither libstdc++ nor unwind tables. A non-PIE static executable skips
  # self-relocation; norelro and noseparate-code pack it into two segments,
  # unless a distribution's own flags (SIGSEND_DISTRIBUTION_FLAGS) decide.
  target_compile_options(sigsend PRIVATE -specs=${SIGSEND_MUSL_SPECS} -fno-pie -fno-exceptions
                                         -fno-rtti -fno-asynchronous-unwind-tables)
  # The linker's map says which of musl's and GCC's files it took, for the
  # notices and the SBOM; it changes no byte of the executable.
  set(SIGSEND_MAP ${PROJECT_BINARY_DIR}/sigsend.map)
  target_link_options(sigsend PRIVATE -specs=${SIGSEND_MUSL_SPECS} -static -no-pie -nodefaultlibs
                      -Wl,--gc-sections,--build-id=sha1
                      -Wl,-Map=${SIGSEND_MAP})
  if(NOT SIGSEND_DISTRIBUTION_FLAGS)
    target_link_options(sigsend PRIVATE -Wl,-z,norelro,-z,noseparate-code)
  endif()
  # -nodefaultlibs drops libgcc too, but musl needs its helpers where the CPU
  # lacks an instruction (32-bit ARM has no guaranteed divide: __aeabi_uidiv),
  # and they call back into musl (raise): hence c, gcc, c.
  target_link_libraries(sigsend PRIVATE c gcc c)
endif()
