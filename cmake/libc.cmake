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
set_property(CACHE SIGSEND_LIBC PROPERTY STRINGS auto musl system)
if(NOT SIGSEND_LIBC MATCHES "^(auto|musl|system)$")
  message(FATAL_ERROR "SIGSEND_LIBC must be auto, musl or system, not '${SIGSEND_LIBC}'")
endif()

# Debian names musl's directory CPU-linux-musl after the multiarch one's CPU,
# keeping only 32-bit ARM's float ABI: i386-linux-musl, arm-linux-musleabihf,
# mips64el-linux-musl (from mips64el-linux-gnuabi64).
string(REGEX REPLACE "^([^-]+)-.*-gnu(eabihf|eabi|).*$" "\\1-linux-musl\\2" musl_triple
       "${CMAKE_LIBRARY_ARCHITECTURE}")
find_file(SIGSEND_MUSL_SPECS musl-gcc.specs
          HINTS /usr/lib/${musl_triple} /usr/lib/musl/lib /usr/local/musl/lib
          NO_DEFAULT_PATH)

find_program(SIGSEND_JQ jq)
string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
set(musl_missing "")
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(musl_missing "the musl build needs GCC, and the compiler is ${CMAKE_CXX_COMPILER_ID}")
elseif(NOT SIGSEND_MUSL_SPECS)
  set(musl_missing "musl-gcc.specs was not found (install the musl-tools package)")
elseif(NOT SIGSEND_JQ)
  set(musl_missing "jq was not found, which writes the static build's SBOM (install jq)")
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
else()
  set(SIGSEND_STATIC_MUSL ON)
  message(STATUS "sigsend: static build against musl (${SIGSEND_MUSL_SPECS})")
  # The program uses only C library calls through the C headers, so it needs
  # neither libstdc++ nor unwind tables. A non-PIE static executable skips
  # self-relocation; norelro and noseparate-code pack it into two segments.
  target_compile_options(sigsend PRIVATE -specs=${SIGSEND_MUSL_SPECS} -fno-pie -fno-exceptions
                                         -fno-rtti -fno-asynchronous-unwind-tables)
  # The linker's map says which of musl's and GCC's files it took, for the
  # notices and the SBOM; it changes no byte of the executable.
  set(SIGSEND_MAP ${PROJECT_BINARY_DIR}/sigsend.map)
  target_link_options(sigsend PRIVATE -specs=${SIGSEND_MUSL_SPECS} -static -no-pie -nodefaultlibs
                      -Wl,--gc-sections,-z,norelro,-z,noseparate-code,--build-id=none
                      -Wl,-Map=${SIGSEND_MAP})
  # -nodefaultlibs drops libgcc too, but musl needs its helpers where the CPU
  # lacks an instruction (32-bit ARM has no guaranteed divide: __aeabi_uidiv),
  # and they call back into musl (raise): hence c, gcc, c.
  target_link_libraries(sigsend PRIVATE c gcc c)
endif()
