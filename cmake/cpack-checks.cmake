# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Read by cpack before it builds each package. The package's architecture is
# that of the executable that was built, read from its ELF header: neither the
# kernel's (a 32-bit build on a 64-bit kernel) nor the configured processor
# can be trusted to match it. A package labelled with another machine's
# architecture would install there and then fail to run, so an executable
# that the table does not name stops cpack.
if(NOT EXISTS "${CPACK_SIGSEND_BINARY}")
  message(FATAL_ERROR "sigsend: ${CPACK_SIGSEND_BINARY} is missing; build it before cpack.")
endif()
file(READ "${CPACK_SIGSEND_BINARY}" elf LIMIT 52 HEX)
string(SUBSTRING "${elf}" 8 2 class) # 01: 32-bit, 02: 64-bit
string(SUBSTRING "${elf}" 10 2 data) # 01: little-endian, 02: big-endian
string(SUBSTRING "${elf}" 36 4 machine)
if(data STREQUAL "01") # e_machine is two bytes in the file's byte order
  string(REGEX REPLACE "^(..)(..)$" "\\2\\1" machine "${machine}")
endif()
set(float "")
if(machine STREQUAL "0028") # 32-bit ARM: e_flags tells the float ABI
  string(SUBSTRING "${elf}" 74 2 flags)
  set(float "/${flags}")
endif()
set(elf "${class}/${data}/${machine}${float}")
# class/data/e_machine[/e_flags byte with EF_ARM_ABI_FLOAT_HARD 04 or _SOFT 02]|Debian|RPM
set(arches "02/01/003e|amd64|x86_64" "01/01/0003|i386|i686" "02/01/00b7|arm64|aarch64"
           "01/01/0028/04|armhf|armv7hl" "01/01/0028/02|armel|armv5tel"
           "02/01/0015|ppc64el|ppc64le" "02/02/0016|s390x|s390x" "02/01/00f3|riscv64|riscv64")
foreach(arch IN LISTS arches)
  string(REPLACE "|" ";" arch "${arch}")
  list(GET arch 0 header)
  if(elf STREQUAL header)
    list(GET arch 1 CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    list(GET arch 2 CPACK_RPM_PACKAGE_ARCHITECTURE)
  endif()
endforeach()
if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  message(FATAL_ERROR "sigsend: no package architecture is known for ${CPACK_SIGSEND_BINARY} "
                      "(ELF class/data/machine ${elf}); add it to cmake/cpack-checks.cmake.")
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
