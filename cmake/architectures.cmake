# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The sigsend developers
# Which architecture an executable is built for, read from its ELF header:
# neither the kernel's (a 32-bit build on a 64-bit kernel) nor the configured
# processor can be trusted to match it. include() it for the function, or run
#   cmake -DBINARY=FILE -P cmake/architectures.cmake
# to print "DEBIAN PLATFORM RPM", such as "armhf arm-v7 armv7hl", or fail
# naming the header where the table has no row for it.

# class/data/e_machine[/e_flags byte with EF_ARM_ABI_FLOAT_HARD 04 or _SOFT 02]
# | Debian | container platform (TARGETARCH, then TARGETVARIANT) | RPM
set(SIGSEND_ARCHITECTURES
    "02/01/003e|amd64|amd64|x86_64" "01/01/0003|i386|386|i686" "02/01/00b7|arm64|arm64|aarch64"
    "01/01/0028/04|armhf|arm-v7|armv7hl" "01/01/0028/02|armel|arm-v5|armv5tel"
    "02/01/0015|ppc64el|ppc64le|ppc64le" "02/02/0016|s390x|s390x|s390x"
    "02/01/00f3|riscv64|riscv64|riscv64")

# Sets PREFIX_HEADER to BINARY's class/data/machine[/float], and PREFIX_DEBIAN,
# PREFIX_PLATFORM and PREFIX_RPM to its row's names, or to "" without a row.
function(sigsend_architecture binary prefix)
  file(READ "${binary}" elf LIMIT 52 HEX)
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
  set(header "${class}/${data}/${machine}${float}")
  set(${prefix}_HEADER "${header}" PARENT_SCOPE)
  foreach(name DEBIAN PLATFORM RPM)
    set(${prefix}_${name} "" PARENT_SCOPE)
  endforeach()
  foreach(row IN LISTS SIGSEND_ARCHITECTURES)
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 known)
    if(header STREQUAL known)
      list(GET row 1 debian)
      list(GET row 2 platform)
      list(GET row 3 rpm)
      set(${prefix}_DEBIAN ${debian} PARENT_SCOPE)
      set(${prefix}_PLATFORM ${platform} PARENT_SCOPE)
      set(${prefix}_RPM ${rpm} PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  sigsend_architecture("${BINARY}" arch)
  if(NOT arch_DEBIAN)
    message(FATAL_ERROR "no architecture is known for ${BINARY} (ELF class/data/machine "
                        "${arch_HEADER}); add it to cmake/architectures.cmake.")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${arch_DEBIAN} ${arch_PLATFORM} ${arch_RPM}")
endif()
